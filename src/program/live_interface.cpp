#include "program/live_interface.h"

#include <QQuickView>

#include "desktop/launch_at_login_model.h"
#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_settings.h"
#include "menubar/tray_host_watcher.h"
#include "onboarding/onboarding_window_controller.h"
#include "desktop/bundle_identifier.h"
#include "sharehandoff/session_bus_share_handoff_signal.h"
#include "sharehandoff/share_handoff_coordinator.h"
#include "sharehandoff/share_source_access_registry.h"
#include "transfer/transfer_store.h"

namespace tavrel {
namespace {

class LiveMenuBar final : public MenuBarControlling {
 public:
  LiveMenuBar(MenuBarDependencies dependencies, std::shared_ptr<platform::MainQueue> mainQueue,
              std::shared_ptr<SystemTransferFilePicker> picker)
      : dependencies_(std::move(dependencies)),
        mainQueue_(std::move(mainQueue)),
        picker_(std::move(picker)),
        settings_(*dependencies_.preferences, *dependencies_.launchAtLogin),
        controller_(std::make_unique<MenuBarController>(*dependencies_.transferStore,
                                                        *dependencies_.recentTransfersStore,
                                                        *dependencies_.authenticationStore, settings_,
                                                        dependencies_.actions, *mainQueue_)) {
    // Only the popover's "Upload Files" opens the file dialog.
    if (picker_) {
      picker_->setOpener([this]() -> QWindow* {
        auto* popover = controller_->popoverWindow();
        return popover ? popover->window() : nullptr;
      });
    }
  }
  ~LiveMenuBar() override {
    // The coordinator drops one menu bar before it makes the next.
    if (picker_) picker_->setOpener({});
  }
  LiveMenuBar(const LiveMenuBar&) = delete;
  LiveMenuBar& operator=(const LiveMenuBar&) = delete;

  void showPopover(bool activating) override { controller_->showPopover(activating); }
  bool revealFailure(const UploadRunID& runID) override { return controller_->revealFailure(runID); }
  void invalidate() override { controller_->invalidate(); }
  bool isStatusItemShown() const override {
    const auto* item = controller_->statusItem();
    return item && item->isAvailable();
  }

 private:
  MenuBarDependencies dependencies_;  // keeps the stores alive as long as the controller
  std::shared_ptr<platform::MainQueue> mainQueue_;
  std::shared_ptr<SystemTransferFilePicker> picker_;
  AppMenuBarSettings settings_;
  std::unique_ptr<MenuBarController> controller_;
};

// The desktop's tray as onboarding's last screen asks after it.
class TrayHostPresence final : public TrayPresence {
 public:
  TrayHostPresence() : present_(hosts_.isHostPresent()) {
    const auto lookAgain = [this] { present_.set(hosts_.isHostPresent()); };
    QObject::connect(&hosts_, &TrayHostWatcher::hostAppeared, lookAgain);
    QObject::connect(&hosts_, &TrayHostWatcher::hostGone, lookAgain);
  }

  bool isTrayPresent() const override { return present_.value(); }
  platform::Subscription subscribeToChanges(std::function<void()> changed) override {
    return present_.subscribe([changed = std::move(changed), first = true](const bool&) mutable {
      if (!std::exchange(first, false)) changed();
    }, platform::Delivery::removeDuplicates);
  }

 private:
  TrayHostWatcher hosts_;
  platform::Observable<bool> present_;
};

class LiveOnboardingWindow final : public OnboardingWindowControlling {
 public:
  LiveOnboardingWindow(OnboardingDependencies dependencies, std::shared_ptr<platform::MainQueue> mainQueue,
                       std::shared_ptr<ui::AccessibilityAnnouncing> announcer,
                       std::shared_ptr<LiveApplicationShell> shell)
      : shell_(std::move(shell)),
        controller_(std::make_unique<OnboardingWindowController>(
            dependencies.authenticationStore, dependencies.preferences, dependencies.launchAtLogin,
            dependencies.onDone, std::move(mainQueue), std::move(announcer), std::make_shared<TrayHostPresence>())) {
    applyPolicy();
    QObject::connect(shell_.get(), &LiveApplicationShell::activationPolicyChanged, controller_.get(),
                     [this] { applyPolicy(); });
  }

  void show() override { controller_->show(); }
  bool isWindowVisible() const override { return controller_->window() && controller_->window()->isVisible(); }
  void orderOut() override { controller_->close(); }
  void setOnUserClose(std::function<void()> onUserClose) override { controller_->onUserClose = std::move(onUserClose); }

 private:
  // Accessory: out of the taskbar and the switcher, like a panel of the tray icon.
  void applyPolicy() {
    if (auto* window = controller_->window()) window->setFlag(Qt::Tool, shell_->skipsTaskbar());
  }

  std::shared_ptr<LiveApplicationShell> shell_;
  std::unique_ptr<OnboardingWindowController> controller_;
};

// Everything the handoff needs, released in the right order: the coordinator before the signal it
// observes.
struct LiveShareHandoff {
  std::shared_ptr<ShareSourceAccessRegistry> registry;
  std::shared_ptr<SessionBusShareHandoffSignal> signal;
  std::shared_ptr<ShareHandoffCoordinator> coordinator;
  ~LiveShareHandoff() { coordinator.reset(); }
};

}  // namespace

std::function<std::shared_ptr<void>(AppCoordinator&)> liveShareHandoff(std::shared_ptr<platform::MainQueue> mainQueue) {
  return [mainQueue](AppCoordinator& coordinator) -> std::shared_ptr<void> {
    auto handoff = std::make_shared<LiveShareHandoff>();
    handoff->registry = std::make_shared<ShareSourceAccessRegistry>();
    coordinator.transferStore()->setOnSourceAccessReleased(
        [registry = handoff->registry](const TransferSourceAccessID& id) { registry->release(id); });
    handoff->signal = std::make_shared<SessionBusShareHandoffSignal>(std::string(bundleIdentifier));
    auto storage = ShareHandoffStorage::make();
    const std::weak_ptr<AppCoordinator> weakCoordinator = coordinator.weak_from_this();
    handoff->coordinator = std::make_shared<ShareHandoffCoordinator>(ShareHandoffCoordinator::Dependencies{
        .mainQueue = *mainQueue,
        .storage = storage ? std::optional<ShareHandoffStorage>(std::move(*storage)) : std::nullopt,
        .transferStore = *coordinator.transferStore(),
        .authenticationStore = coordinator.authenticationStore(),
        .accessRegistry = handoff->registry,
        .onHandoffAccepted =
            [weakCoordinator] {
              if (auto coordinator = weakCoordinator.lock()) coordinator->handoffAccepted();
            },
        .signalling = handoff->signal.get(),
    });
    coordinator.setShareHandoffScan([weakHandoff = std::weak_ptr<ShareHandoffCoordinator>(handoff->coordinator)] {
      if (auto handoff = weakHandoff.lock()) handoff->scanPendingRequests();
    });
    return handoff;
  };
}

std::function<std::unique_ptr<MenuBarControlling>(MenuBarDependencies)> liveMenuBarFactory(
    std::shared_ptr<platform::MainQueue> mainQueue, std::shared_ptr<SystemTransferFilePicker> picker) {
  return [mainQueue, picker](MenuBarDependencies dependencies) -> std::unique_ptr<MenuBarControlling> {
    return std::make_unique<LiveMenuBar>(std::move(dependencies), mainQueue, picker);
  };
}

std::function<std::unique_ptr<OnboardingWindowControlling>(OnboardingDependencies)> liveOnboardingWindowFactory(
    std::shared_ptr<platform::MainQueue> mainQueue, std::shared_ptr<ui::AccessibilityAnnouncing> announcer,
    std::shared_ptr<LiveApplicationShell> shell) {
  return [mainQueue, announcer, shell](OnboardingDependencies dependencies)
             -> std::unique_ptr<OnboardingWindowControlling> {
    return std::make_unique<LiveOnboardingWindow>(std::move(dependencies), mainQueue, announcer, shell);
  };
}

}  // namespace tavrel
