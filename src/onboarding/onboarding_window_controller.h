#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "onboarding/onboarding_services.h"
#include "onboarding/onboarding_view_model.h"
#include "onboarding/onboarding_window_placement.h"

class QQuickView;
class QScreen;

namespace tavrel {

// The one window in which a first-run or signed-out user signs in and chooses whether the program
// opens at login: a fixed 400 by 500 black window holding the onboarding view, centred on the screen
// under the pointer when it is shown, and moved back into reach when displays change. Its close
// button never closes it: the request is refused and handed to onUserClose, and the coordinator
// decides (complete onboarding, or quit). The window is only ever hidden and shown again.
//
// Where the session does not let programs place windows (Wayland), the desktop's placement stands.
//
// IMPORTANT: Thread-safety. Main thread only. Screen changes are handled through the main queue and
// dropped once the controller is gone.
class OnboardingWindowController final : public QObject {
  Q_OBJECT

 public:
  static constexpr int kWidth = 400;
  static constexpr int kHeight = 500;

  // As the coordinator builds it: its stores, the announcer and main queue of the program, onDone
  // for "Done", and whether the desktop has a tray (none given counts as one).
  OnboardingWindowController(std::shared_ptr<AuthenticationStore> authenticationStore,
                             std::shared_ptr<AppPreferences> preferences,
                             std::shared_ptr<LaunchAtLoginModel> launchAtLogin, std::function<void()> onDone,
                             std::shared_ptr<platform::MainQueue> queue,
                             std::shared_ptr<ui::AccessibilityAnnouncing> announcer,
                             std::shared_ptr<TrayPresence> tray = nullptr, QObject* parent = nullptr);
  OnboardingWindowController(OnboardingViewModel::Services services, std::function<void()> onDone,
                             QObject* parent = nullptr);
  ~OnboardingWindowController() override;

  // Run when the user asks to close the window; the window stays open.
  std::function<void()> onUserClose;

  // Places a hidden window under the pointer, then raises and activates it (a visible window keeps
  // its place).
  void show();
  // Hides the window; the next show() brings the same window and view back.
  void close();

  QQuickView* window() const { return window_; }
  OnboardingViewModel* viewModel() const { return model_; }

  // The screens as the placement rules see them, in the desktop's order, with the primary's index.
  static std::vector<ScreenArea> currentScreens(std::optional<std::size_t>* primary);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void centre();
  void repositionIfOffscreen();
  void watchScreen(QScreen* screen);
  void screensChanged();

  std::shared_ptr<platform::MainQueue> queue_;
  OnboardingViewModel* model_;
  QQuickView* window_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrel
