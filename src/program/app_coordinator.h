#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_environment.h"
#include "desktop/launch_at_login_model.h"
#include "desktop/transfer_notification_response.h"
#include "menubar/menu_bar_controller_actions.h"
#include "platform/http_transport.h"
#include "platform/main_queue.h"
#include "program/interface_ports.h"
#include "program/session_transfer_api.h"

namespace tavrel {

class AuthenticationStore;
class RecentTransfersStore;
class TransferStore;
class NativeUploadEngine;
class NotchLayoutModel;

// What the menu bar is made with, on first need.
struct MenuBarDependencies {
  std::shared_ptr<TransferStore> transferStore;
  std::shared_ptr<RecentTransfersStore> recentTransfersStore;
  std::shared_ptr<AuthenticationStore> authenticationStore;
  std::shared_ptr<AppPreferences> preferences;
  std::shared_ptr<LaunchAtLoginModel> launchAtLogin;
  MenuBarControllerActions actions;
};

// What the onboarding window is made with, on first need.
struct OnboardingDependencies {
  std::shared_ptr<AuthenticationStore> authenticationStore;
  std::shared_ptr<AppPreferences> preferences;
  std::shared_ptr<LaunchAtLoginModel> launchAtLogin;
  std::function<void()> onDone;
};

// The parts of the running desktop the coordinator reaches: the session, the windows it makes, the
// hot key, and the HTTP sessions of the service clients.
struct AppCoordinatorPlatform {
  std::shared_ptr<platform::MainQueue> mainQueue;
  std::shared_ptr<ApplicationShell> shell;
  std::function<std::unique_ptr<MenuBarControlling>(MenuBarDependencies)> makeMenuBar;
  std::function<std::unique_ptr<OnboardingWindowControlling>(OnboardingDependencies)> makeOnboardingWindow;
  // Registers the global hot key with its action; the registration lasts as long as the returned
  // object. A failed registration is logged where it happens and returns an object all the same.
  std::function<std::shared_ptr<void>(std::function<void()> action)> registerHotKey;
  std::shared_ptr<platform::HttpTransport> apiSession;
  std::shared_ptr<platform::HttpTransport> uploadSession;
  std::function<std::chrono::system_clock::time_point()> now;
  // Connects the share handoff once the stores exist (the program's handoff coordinator); empty
  // where there is none. Called with the coordinator during construction; the returned object is
  // kept for the coordinator's life.
  std::function<std::shared_ptr<void>(class AppCoordinator&)> connectShareHandoff;
};

// Builds and owns the running program: every store, client and controller, the closures through
// which the stores reach each other, the subscriptions that decide what shows, and the actions the
// interface asks of it.
//
// IMPORTANT: Threading. Main thread only. Closures and tasks it hands out hold it weakly and do
// nothing once it is gone. Make it with make(); it must be owned by a shared_ptr.
class AppCoordinator : public std::enable_shared_from_this<AppCoordinator> {
 public:
  static std::shared_ptr<AppCoordinator> make(AppEnvironment environment, bool forceRegularActivation,
                                              AppCoordinatorPlatform platform);
  ~AppCoordinator();
  AppCoordinator(const AppCoordinator&) = delete;
  AppCoordinator& operator=(const AppCoordinator&) = delete;

  void updatePresentation();
  void installMenuBar();
  void showOnboarding();
  void removeInterface();
  void showMainInterface();
  void completeOnboarding();
  void onboardingFinished();
  void openWebPage(const std::vector<std::string>& pathSegments);
  void openRecentTransfer(const std::string& transferID);
  // Copies the share link of a recent transfer, named by its download slug; an empty slug is no link
  // and copies nothing.
  void copyRecentTransferLink(const std::string& downloadSlug);
  void signOut();
  void quit();
  void handleHotKey();
  // The program was started again while it runs (from the application menu, say): the onboarding
  // window when it is showing, else the popover as the hot key opens it. Without a tray this is the
  // way back to the popover.
  void reopen();
  // The user started the program (not the session at login). Where no tray shows the icon nothing
  // would say that it runs, so it shows itself as for a second start; with the icon, nothing more.
  void startedByUser();
  void handoffAccepted();
  void revealPopover();
  void refreshAfterActivation();
  void handleNotificationResponse(const TransferNotificationResponse& response);

  // Read by tests and by the share handoff's wiring.
  const std::shared_ptr<AuthenticationStore>& authenticationStore() const { return authenticationStore_; }
  const std::shared_ptr<TransferStore>& transferStore() const { return transferStore_; }
  const std::shared_ptr<RecentTransfersStore>& recentTransfersStore() const { return recentTransfersStore_; }
  const std::shared_ptr<LaunchAtLoginModel>& launchAtLogin() const { return launchAtLogin_; }
  const AppEnvironment& environment() const { return environment_; }
  // The switched-off island's layout: made at construction and kept, with no geometry; no island
  // panel is ever made.
  const NotchLayoutModel& notchLayout() const { return *notchLayout_; }
  bool hasMenuBar() const { return menuBarController_ != nullptr; }
  bool hasOnboardingWindow() const { return onboardingWindowController_ != nullptr; }
  bool isSigningOut() const { return isSigningOut_; }
  // Set by the share handoff's wiring: what refreshAfterActivation() scans.
  void setShareHandoffScan(std::function<void()> scan) { scanShareHandoff_ = std::move(scan); }

 private:
  AppCoordinator(AppEnvironment environment, bool forceRegularActivation, AppCoordinatorPlatform platform);
  void construct();
  void observeAuthentication();
  void authenticationStateChanged(const AuthenticationState& state);
  void observePreferences();
  void observeApplicationActivation();
  void schedulePresentationUpdate();
  void setPolicy(ActivationPolicy policy);
  void orderOutOnboarding();
  TransferDefaults transferDefaults() const;
  MenuBarControllerActions makeMenuBarActions();

  std::unique_ptr<NotchLayoutModel> notchLayout_;
  AppEnvironment environment_;
  AppCoordinatorPlatform platform_;
  std::shared_ptr<AuthenticationStore> authenticationStore_;
  std::shared_ptr<TransferStore> transferStore_;
  std::shared_ptr<RecentTransfersStore> recentTransfersStore_;
  std::shared_ptr<AppPreferences> preferences_;
  std::shared_ptr<LaunchAtLoginModel> launchAtLogin_;
  bool forceRegularActivation_ = false;
  std::unique_ptr<OnboardingWindowControlling> onboardingWindowController_;
  std::unique_ptr<MenuBarControlling> menuBarController_;
  std::shared_ptr<void> globalHotKey_;
  platform::Subscription authenticationObserver_;
  platform::Subscription onboardingVersionObserver_;
  platform::Subscription quickDropObserver_;
  platform::Subscription applicationActivationObserver_;
  std::shared_ptr<void> shareHandoff_;
  std::function<void()> scanShareHandoff_;
  bool isSigningOut_ = false;

  std::shared_ptr<SessionTransferAPI> engineAPI_;
  std::shared_ptr<NativeUploadEngine> uploadEngine_;

  // Boxed values of the authentication subscription.
  bool wasAuthenticated_ = false;
  std::optional<std::string> lastWorkspaceID_;
  // The latest of both preferences, combined once each has delivered.
  std::optional<std::int64_t> latestOnboardingVersion_;
  std::optional<bool> latestQuickDrop_;
};

}  // namespace tavrel
