#include "program/app_coordinator.h"

#include "account/authentication_store.h"
#include "records/api_url.h"
#include "service/native_upload_engine.h"
#include "service/tavrel_api_client.h"
#include "service/tavrel_recent_transfers_api_client.h"
#include "transfer/recent_transfers_store.h"
#include "transfer/transfer_store.h"
// After the core's headers: Qt's keyword macros (emit, signals) must not reach them.
#include "island/notch_layout_model.h"

namespace tavrel {
namespace {

bool isAuthenticated(const AuthenticationState& state) {
  return std::holds_alternative<authentication_state::Authenticated>(state);
}

std::optional<std::string> workspaceID(const AuthenticationState& state) {
  if (const auto* account = authenticatedAccount(state)) return account->bootstrap.workspace.id;
  return std::nullopt;
}

}  // namespace

std::shared_ptr<AppCoordinator> AppCoordinator::make(AppEnvironment environment, bool forceRegularActivation,
                                                     AppCoordinatorPlatform platform) {
  std::shared_ptr<AppCoordinator> coordinator(
      new AppCoordinator(std::move(environment), forceRegularActivation, std::move(platform)));
  // The closures below hold the coordinator weakly, so construction finishes once it is shared.
  coordinator->construct();
  return coordinator;
}

AppCoordinator::AppCoordinator(AppEnvironment environment, bool forceRegularActivation, AppCoordinatorPlatform platform)
    : notchLayout_(std::make_unique<NotchLayoutModel>()),
      environment_(std::move(environment)),
      platform_(std::move(platform)) {
  preferences_ = environment_.appPreferences;
  launchAtLogin_ = std::make_shared<LaunchAtLoginModel>(environment_.launchAtLoginService);
  forceRegularActivation_ = forceRegularActivation;
}

AppCoordinator::~AppCoordinator() {
  // Subscriptions first: nothing may call back into a coordinator being torn down.
  authenticationObserver_.reset();
  onboardingVersionObserver_.reset();
  quickDropObserver_.reset();
  applicationActivationObserver_.reset();
  shareHandoff_.reset();
  globalHotKey_.reset();
  if (menuBarController_) menuBarController_->invalidate();
}

void AppCoordinator::construct() {
  auto& queue = *platform_.mainQueue;
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();

  authenticationStore_ =
      AuthenticationStore::make(environment_.oauthConfiguration, environment_.authenticationAPI,
                                environment_.refreshTokenStore, environment_.webAuthentication,
                                platform_.mainQueue, platform_.now);
  const auto& webAppURL = environment_.oauthConfiguration.webAppURL;

  auto recentClient = std::make_shared<TavrelRecentTransfersAPIClient>(webAppURL, authenticationStore_,
                                                                       platform_.apiSession, queue);
  const auto now = platform_.now;
  recentTransfersStore_ = std::make_shared<RecentTransfersStore>(recentClient, std::chrono::duration<double>(60.0),
                                                                 [now] { return now(); });

  // The engine's client sends each call with the token of the session its transfer belongs to, so
  // the transfer a sign-out abandons is still deleted on the service, with that session's token only.
  const auto apiSession = platform_.apiSession;
  engineAPI_ = std::make_shared<SessionTransferAPI>(
      authenticationStore_, [webAppURL, apiSession](std::shared_ptr<AccessTokenProviding> tokens) {
        return std::make_shared<TavrelAPIClient>(webAppURL, std::move(tokens), apiSession);
      });
  uploadEngine_ = std::make_shared<NativeUploadEngine>(engineAPI_, environment_.clock, platform_.uploadSession,
                                                       environment_.uploadSecurityPolicy, queue);

  TransferStore::Services services{
      .filePreparer = environment_.filePreparer,
      .uploadEngine = uploadEngine_,
      .filePicker = environment_.filePicker,
      .linkOpener = environment_.linkOpener,
      .clipboard = environment_.clipboard,
      .transferNotifier = environment_.transferNotifier,
      .applicationLinks = environment_.applicationLinks,
      .clock = environment_.clock,
  };
  const std::weak_ptr<AuthenticationStore> weakAuthentication = authenticationStore_;
  const std::weak_ptr<RecentTransfersStore> weakRecent = recentTransfersStore_;
  TransferStore::Closures closures{
      .transferDefaults = [weakSelf] {
        auto self = weakSelf.lock();
        return self ? self->transferDefaults() : AppEnvironment::initialTransferDefaults();
      },
      .canInitiateTransfer = [weakAuthentication] {
        auto store = weakAuthentication.lock();
        return store && store->canInitiateTransfer();
      },
      .onCompletedTransfer = [weakRecent](const CompletedTransfer& completed) {
        if (auto store = weakRecent.lock()) store->record(completed);
      },
      .onSourceAccessReleased = {},
      .makeRunID = [] { return UploadRunID::generate(); },
      .makeTransferItemID = [] { return TransferItemID::generate(); },
  };
  transferStore_ = std::make_shared<TransferStore>(queue, std::move(services), std::move(closures));

  setPolicy(preferences_->completedOnboardingVersion() > 0 && !forceRegularActivation_ ? ActivationPolicy::accessory
                                                                                         : ActivationPolicy::regular);

  if (platform_.registerHotKey) {
    globalHotKey_ = platform_.registerHotKey([weakSelf] {
      if (auto self = weakSelf.lock()) self->handleHotKey();
    });
  }

  observeAuthentication();
  observePreferences();
  observeApplicationActivation();

  if (platform_.connectShareHandoff) shareHandoff_ = platform_.connectShareHandoff(*this);

  updatePresentation();
  authenticationStore_->restore();
}

TransferDefaults AppCoordinator::transferDefaults() const {
  if (const auto* account = authenticatedAccount(authenticationStore_->state())) {
    if (auto defaults = TransferDefaults::fromBootstrapDefaults(account->bootstrap.transferSettings.defaults)) {
      return *defaults;
    }
  }
  return AppEnvironment::initialTransferDefaults();
}

void AppCoordinator::observeAuthentication() {
  wasAuthenticated_ = isAuthenticated(authenticationStore_->state());
  lastWorkspaceID_ = workspaceID(authenticationStore_->state());
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
  authenticationObserver_ = authenticationStore_->subscribe(
      [weakSelf](const AuthenticationState& state) {
        if (auto self = weakSelf.lock()) self->authenticationStateChanged(state);
      },
      platform::Delivery::removeDuplicates);
}

void AppCoordinator::authenticationStateChanged(const AuthenticationState& state) {
  const bool leftSignedIn = wasAuthenticated_ && !isAuthenticated(state);
  const bool enteredSignedIn = !wasAuthenticated_ && isAuthenticated(state);
  const auto newWorkspaceID = workspaceID(state);
  const bool workspaceChanged = lastWorkspaceID_.has_value() && newWorkspaceID != lastWorkspaceID_;
  wasAuthenticated_ = isAuthenticated(state);
  lastWorkspaceID_ = newWorkspaceID;
  // A session that ended without a sign-out (it expired) keeps no token: its transfers are sent
  // nothing more, whoever signs in next. After a sign-out the session has already ended.
  if (leftSignedIn) {
    if (const auto ended = engineAPI_->endSession(std::nullopt)) engineAPI_->release(*ended);
  }
  // Here, as the new token is published and before any transfer can start with it.
  if (enteredSignedIn) engineAPI_->beginSession();
  if (leftSignedIn) transferStore_->send(transfer_action::AuthenticationEnded{});
  if (leftSignedIn || workspaceChanged) recentTransfersStore_->reset();
  schedulePresentationUpdate();
}

void AppCoordinator::observePreferences() {
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
  // The latest of both values; each change (the first once both have delivered) decides anew.
  onboardingVersionObserver_ = preferences_->subscribeCompletedOnboardingVersion(
      [weakSelf](const std::int64_t& version) {
        auto self = weakSelf.lock();
        if (!self) return;
        self->latestOnboardingVersion_ = version;
        if (self->latestQuickDrop_) self->schedulePresentationUpdate();
      },
      platform::Delivery::removeDuplicates);
  quickDropObserver_ = preferences_->subscribeQuickDropEnabled(
      [weakSelf](const bool& enabled) {
        auto self = weakSelf.lock();
        if (!self) return;
        self->latestQuickDrop_ = enabled;
        if (self->latestOnboardingVersion_) self->schedulePresentationUpdate();
      },
      platform::Delivery::removeDuplicates);
}

void AppCoordinator::observeApplicationActivation() {
  if (!platform_.shell) return;
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
  auto queue = platform_.mainQueue;
  applicationActivationObserver_ = platform_.shell->observeDidBecomeActive([weakSelf, queue] {
    queue->post([weakSelf] {
      if (auto self = weakSelf.lock()) self->refreshAfterActivation();
    });
  });
}

void AppCoordinator::schedulePresentationUpdate() {
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
  platform_.mainQueue->post([weakSelf] {
    if (auto self = weakSelf.lock()) self->updatePresentation();
  });
}

void AppCoordinator::setPolicy(ActivationPolicy policy) {
  if (platform_.shell && platform_.shell->activationPolicy() != policy) platform_.shell->setActivationPolicy(policy);
}

void AppCoordinator::orderOutOnboarding() {
  if (onboardingWindowController_) onboardingWindowController_->orderOut();
}

void AppCoordinator::updatePresentation() {
  const bool onboarded = preferences_->completedOnboardingVersion() >= 1;
  const auto& state = authenticationStore_->state();
  const bool authenticated = isAuthenticated(state);
  const bool signedOutOrAuthorizing = std::holds_alternative<authentication_state::SignedOut>(state) ||
                                      std::holds_alternative<authentication_state::Authorizing>(state);
  const bool windowVisible = onboardingWindowController_ && onboardingWindowController_->isWindowVisible();
  const auto menuBarPolicy = forceRegularActivation_ ? ActivationPolicy::regular : ActivationPolicy::accessory;

  enum class Outcome { onboardingOnly, onboardingWithMenuBar, menuBarOnly, menuBarKept };
  Outcome outcome;
  if (!onboarded) {
    outcome = authenticated ? Outcome::onboardingWithMenuBar : Outcome::onboardingOnly;
  } else if (isSigningOut_ && authenticated) {
    outcome = Outcome::onboardingWithMenuBar;
  } else if (signedOutOrAuthorizing) {
    outcome = Outcome::onboardingOnly;
  } else if (authenticated) {
    outcome = windowVisible ? Outcome::onboardingWithMenuBar : Outcome::menuBarOnly;
  } else {
    // Restoring, or temporarily unavailable.
    outcome = windowVisible ? Outcome::onboardingOnly : Outcome::menuBarKept;
  }

  switch (outcome) {
    case Outcome::onboardingOnly:
      setPolicy(ActivationPolicy::regular);
      showOnboarding();
      removeInterface();
      break;
    case Outcome::onboardingWithMenuBar:
      setPolicy(ActivationPolicy::regular);
      showOnboarding();
      showMainInterface();
      break;
    case Outcome::menuBarOnly:
      showMainInterface();
      orderOutOnboarding();
      setPolicy(menuBarPolicy);
      break;
    case Outcome::menuBarKept:
      orderOutOnboarding();
      installMenuBar();
      setPolicy(menuBarPolicy);
      break;
  }
}

MenuBarControllerActions AppCoordinator::makeMenuBarActions() {
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
  auto shell = platform_.shell;
  const auto withSelf = [weakSelf](auto action) {
    return [weakSelf, action](auto&&... arguments) {
      if (auto self = weakSelf.lock()) action(*self, arguments...);
    };
  };
  MenuBarControllerActions actions;
  actions.onWillShow = withSelf([](AppCoordinator& self) { self.launchAtLogin_->refresh(); });
  actions.onToggleQuickDrop = [] {};
  actions.onViewTransfers = withSelf([](AppCoordinator& self) { self.openWebPage({"transfers"}); });
  actions.onViewTransferSettings = withSelf([](AppCoordinator& self) { self.openWebPage({"settings", "transfer"}); });
  actions.onViewRecentTransfer = [weakSelf](const std::string& transferID) {
    if (auto self = weakSelf.lock()) self->openRecentTransfer(transferID);
  };
  actions.onCopyRecentTransferLink = [weakSelf](const std::string& downloadSlug) {
    if (auto self = weakSelf.lock()) self->copyRecentTransferLink(downloadSlug);
  };
  actions.onManageAccount = withSelf([](AppCoordinator& self) { self.openWebPage({"settings", "profile"}); });
  actions.onSignOut = withSelf([](AppCoordinator& self) { self.signOut(); });
  // Quitting needs no coordinator: it ends the process.
  actions.onQuit = [shell] {
    if (shell) shell->terminate();
  };
  return actions;
}

void AppCoordinator::installMenuBar() {
  if (menuBarController_ || !platform_.makeMenuBar) return;
  menuBarController_ = platform_.makeMenuBar(MenuBarDependencies{transferStore_, recentTransfersStore_,
                                                                 authenticationStore_, preferences_, launchAtLogin_,
                                                                 makeMenuBarActions()});
}

void AppCoordinator::showOnboarding() {
  launchAtLogin_->refresh();
  if (!onboardingWindowController_ && platform_.makeOnboardingWindow) {
    const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
    onboardingWindowController_ = platform_.makeOnboardingWindow(
        OnboardingDependencies{authenticationStore_, preferences_, launchAtLogin_, [weakSelf] {
                                 if (auto self = weakSelf.lock()) self->completeOnboarding();
                               }});
    onboardingWindowController_->setOnUserClose([weakSelf] {
      if (auto self = weakSelf.lock()) self->onboardingFinished();
    });
  }
  if (onboardingWindowController_) onboardingWindowController_->show();
}

void AppCoordinator::removeInterface() {
  if (menuBarController_) {
    menuBarController_->invalidate();
    menuBarController_.reset();
  }
}

void AppCoordinator::showMainInterface() {
  if (!isAuthenticated(authenticationStore_->state())) return;
  installMenuBar();
  const auto* reviewing = std::get_if<transfer_phase::Reviewing>(&transferStore_->state().phase);
  if (reviewing && reviewing->review.startPolicy == TransferStartPolicy::requiresReview && menuBarController_) {
    menuBarController_->showPopover(true);
  }
}

void AppCoordinator::completeOnboarding() {
  if (!isAuthenticated(authenticationStore_->state())) return;
  preferences_->setCompletedOnboardingVersion(1);
  orderOutOnboarding();
  updatePresentation();
}

void AppCoordinator::onboardingFinished() {
  if (isAuthenticated(authenticationStore_->state())) {
    completeOnboarding();
  } else if (platform_.shell) {
    platform_.shell->terminate();
  }
}

void AppCoordinator::openWebPage(const std::vector<std::string>& pathSegments) {
  const auto& webAppURL = environment_.applicationLinks.webAppURL;
  const auto url = apiURL(webAppURL, pathSegments);
  if (platform_.shell) platform_.shell->open(url.value_or(webAppURL));
}

void AppCoordinator::openRecentTransfer(const std::string& transferID) {
  if (platform_.shell) platform_.shell->open(environment_.applicationLinks.transferURL(transferID));
}

void AppCoordinator::copyRecentTransferLink(const std::string& downloadSlug) {
  // An empty slug has no link: the address would be the web application's own page.
  if (downloadSlug.empty()) return;
  environment_.clipboard->write(environment_.applicationLinks.downloadURL(downloadSlug).toString());
}

void AppCoordinator::signOut() {
  if (isSigningOut_) return;
  isSigningOut_ = true;
  setPolicy(ActivationPolicy::regular);
  showOnboarding();
  std::optional<std::string> lastToken;
  if (const auto* account = authenticatedAccount(authenticationStore_->state())) lastToken = account->accessToken;
  // Before the store drops the token, so that a token had while the session was still open is that
  // session's own; the clean-up then goes out with the kept one.
  const auto endedSession = engineAPI_->endSession(std::move(lastToken));
  authenticationStore_->signOut();
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
  platform_.mainQueue->post([weakSelf, endedSession] {
    auto self = weakSelf.lock();
    if (!self) return;
    self->transferStore_->shutDownForSignOut([weakSelf, endedSession] {
      auto self = weakSelf.lock();
      if (!self) return;
      if (endedSession) self->engineAPI_->release(*endedSession);
      self->isSigningOut_ = false;
      self->updatePresentation();
    });
  });
}

void AppCoordinator::quit() {
  if (platform_.shell) platform_.shell->terminate();
}

void AppCoordinator::handleHotKey() {
  if (preferences_->completedOnboardingVersion() < 1) return;
  const auto& state = authenticationStore_->state();
  if (std::holds_alternative<authentication_state::SignedOut>(state) ||
      std::holds_alternative<authentication_state::Authorizing>(state)) {
    return;
  }
  installMenuBar();
  if (menuBarController_) menuBarController_->showPopover(true);
}

void AppCoordinator::reopen() {
  if (onboardingWindowController_ && onboardingWindowController_->isWindowVisible()) {
    onboardingWindowController_->show();
    return;
  }
  handleHotKey();
}

void AppCoordinator::startedByUser() {
  // Before onboarding is done, or signed out, the onboarding window shows anyway.
  if (menuBarController_ && !menuBarController_->isStatusItemShown()) reopen();
}

void AppCoordinator::handoffAccepted() {
  updatePresentation();
  if (!menuBarController_) return;
  const std::weak_ptr<AppCoordinator> weakSelf = weak_from_this();
  platform_.mainQueue->post([weakSelf] {
    if (auto self = weakSelf.lock()) self->revealPopover();
  });
}

void AppCoordinator::revealPopover() {
  if (menuBarController_) menuBarController_->showPopover(true);
}

void AppCoordinator::refreshAfterActivation() {
  launchAtLogin_->refresh();
  if (scanShareHandoff_) scanShareHandoff_();
}

void AppCoordinator::handleNotificationResponse(const TransferNotificationResponse& response) {
  if (const auto* completed = std::get_if<transfer_notification_response::Completed>(&response)) {
    if (completed->transferID && !completed->transferID->empty()) {
      if (platform_.shell) platform_.shell->open(environment_.applicationLinks.transferURL(*completed->transferID));
    } else if (menuBarController_) {
      menuBarController_->showPopover(true);
    }
    return;
  }
  const auto& failed = std::get<transfer_notification_response::Failed>(response);
  if (!menuBarController_) return;
  if (!menuBarController_->revealFailure(failed.runID)) menuBarController_->showPopover(true);
}

}  // namespace tavrel
