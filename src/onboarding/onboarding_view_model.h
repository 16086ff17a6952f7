#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>
#include <qqmlintegration.h>

#include "account/authentication_store.h"
#include "onboarding/onboarding_ports.h"
#include "platform/main_queue.h"
#include "platform/observable.h"
#include "ui/accessibility_announcing.h"

namespace tavrel {

// What the onboarding window shows: one screen per sign-in state of the authentication store, the
// open-at-login block of the signed-in screen, which control takes keyboard focus, and what is said
// to a screen reader when the screen changes. Every decision goes to its owner: sign-in, cancel,
// retry and sign-out to the store, the login item to the launch-at-login setting, "Done" to onDone.
//
// Focus moves and the new screen is announced only when the screen itself changes. The store
// publishes every assignment, and a silent renewal of the access token assigns a new authenticated
// state; treating that as a new screen would move a screen-reader user's focus and repeat the title.
//
// IMPORTANT: Thread-safety. Main thread only; the focus request is posted through the main queue so
// that it runs after the new screen's controls exist.
class OnboardingViewModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("Made by the onboarding window.")

  Q_PROPERTY(Screen screen READ screen NOTIFY changed)
  Q_PROPERTY(QString title READ title NOTIFY changed)
  Q_PROPERTY(QString message READ message NOTIFY changed)
  Q_PROPERTY(QString announcement READ announcement NOTIFY changed)
  Q_PROPERTY(bool showsArtwork READ showsArtwork NOTIFY changed)
  Q_PROPERTY(QString progressLabel READ progressLabel NOTIFY changed)
  Q_PROPERTY(QString statusLine READ statusLine NOTIFY changed)
  Q_PROPERTY(QVariantList buttons READ buttons NOTIFY changed)
  Q_PROPERTY(bool canInitiateTransfer READ canInitiateTransfer NOTIFY changed)
  Q_PROPERTY(QString workspaceNote READ workspaceNote NOTIFY changed)
  Q_PROPERTY(QString signedInAs READ signedInAs NOTIFY changed)
  Q_PROPERTY(bool quickDropAvailable READ quickDropAvailable CONSTANT)
  Q_PROPERTY(bool quickDropEnabled READ quickDropEnabled WRITE setQuickDropEnabled NOTIFY changed)
  Q_PROPERTY(bool quickDropToggleEnabled READ canInitiateTransfer NOTIFY changed)
  Q_PROPERTY(QString quickDropHint READ quickDropHint NOTIFY changed)
  Q_PROPERTY(bool launchAtLoginOn READ launchAtLoginOn WRITE setLaunchAtLoginOn NOTIFY changed)
  Q_PROPERTY(QString launchAtLoginHint READ launchAtLoginHint NOTIFY changed)
  Q_PROPERTY(QString launchAtLoginNote READ launchAtLoginNote NOTIFY changed)
  Q_PROPERTY(bool launchAtLoginNoteOffersSettings READ launchAtLoginNoteOffersSettings NOTIFY changed)
  Q_PROPERTY(FocusTarget focusTarget READ focusTarget NOTIFY focusRequested)
  // The screen and the focus target by name, for the view ("signedIn", "primary", ...).
  Q_PROPERTY(QString screenName READ screenName NOTIFY changed)
  Q_PROPERTY(QString focusTargetName READ focusTargetName NOTIFY focusRequested)

 public:
  enum class Screen { restoring, signedOut, authorizing, unavailable, signedIn };
  Q_ENUM(Screen)
  // The controls that can take keyboard focus; none leaves focus with the window.
  enum class FocusTarget { none, primary, secondary, quickDrop, launchAtLogin };
  Q_ENUM(FocusTarget)

  // One button of a screen, as the view lists it (`buttons` holds maps with these keys: action,
  // text, variant, key ("default", "cancel" or ""), focus ("primary", "secondary" or "")).
  struct Button {
    QString action;
    QString text;
    QString variant;
    QString key;
    QString focus;
    friend bool operator==(const Button&, const Button&) = default;
  };

  struct Services {
    std::shared_ptr<AuthenticationStore> authenticationStore;
    std::shared_ptr<LaunchAtLoginSetting> launchAtLogin;
    std::shared_ptr<QuickDropPreference> preferences;
    std::shared_ptr<ui::AccessibilityAnnouncing> announcer;
    std::shared_ptr<platform::MainQueue> queue;
    // Where there is none the welcome and signed-in screens say where else to find the program;
    // none given counts as a tray.
    std::shared_ptr<TrayPresence> tray = nullptr;
  };

  // `quickDropAvailable` and `hasNotchedDisplay` choose the island row and its hint; the onboarding
  // window passes false for both.
  OnboardingViewModel(Services services, std::function<void()> onDone, bool quickDropAvailable = false,
                      bool hasNotchedDisplay = false, QObject* parent = nullptr);
  ~OnboardingViewModel() override;

  Screen screen() const { return content_.screen; }
  QString title() const { return content_.title; }
  QString message() const { return content_.message; }
  QString announcement() const { return content_.announcement; }
  bool showsArtwork() const { return content_.screen == Screen::signedOut; }
  QString progressLabel() const;
  QString statusLine() const;
  QVariantList buttons() const;
  const std::vector<Button>& buttonList() const { return content_.buttons; }
  bool canInitiateTransfer() const { return content_.canInitiateTransfer; }
  QString workspaceNote() const;
  QString signedInAs() const { return content_.signedInAs; }
  bool quickDropAvailable() const { return quickDropAvailable_; }
  bool quickDropEnabled() const;
  void setQuickDropEnabled(bool enabled);
  QString quickDropHint() const;
  bool launchAtLoginOn() const;
  void setLaunchAtLoginOn(bool on);
  QString launchAtLoginHint() const;
  QString launchAtLoginNote() const;
  bool launchAtLoginNoteOffersSettings() const;
  FocusTarget focusTarget() const { return focusTarget_; }
  QString screenName() const;
  QString focusTargetName() const;

  // The focus target the current screen starts with.
  FocusTarget initialFocus() const;

  // The view calls this once it is first shown: the initial screen gets its focus, unannounced.
  Q_INVOKABLE void viewAppeared();
  // Runs a button of the current screen; an action the current screen does not offer is ignored
  // (a click or key press that arrives after the screen changed).
  Q_INVOKABLE void activate(const QString& action);
  // Return and Escape: the current screen's default and cancel buttons, if it has them.
  Q_INVOKABLE void activateDefault();
  Q_INVOKABLE void activateCancel();
  Q_INVOKABLE void openLoginItemsSettings();

 signals:
  void changed();
  // Posted after the screen changes (and once after the view appears): the view moves keyboard
  // focus to `target`.
  void focusRequested(tavrel::OnboardingViewModel::FocusTarget target);

 private:
  struct Content {
    Screen screen = Screen::restoring;
    QString title;
    QString message;
    QString announcement;
    bool canInitiateTransfer = false;
    QString signedInAs;
    std::vector<Button> buttons;
    friend bool operator==(const Content&, const Content&) = default;
  };
  static Content contentFor(const AuthenticationState& state, bool trayPresent);

  void stateChanged(const AuthenticationState& state);
  void scheduleFocus();

  Services services_;
  std::function<void()> onDone_;
  bool quickDropAvailable_;
  bool hasNotchedDisplay_;
  Content content_;
  bool receivedInitialState_ = false;
  FocusTarget focusTarget_ = FocusTarget::none;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  platform::Subscription stateSubscription_;
  platform::Subscription launchAtLoginSubscription_;
  platform::Subscription preferencesSubscription_;
  platform::Subscription traySubscription_;
};

}  // namespace tavrel
