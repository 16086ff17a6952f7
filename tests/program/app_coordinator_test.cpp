// The coordinator with the real stores, on fakes of the desktop: what shows when, what the hot key,
// sign-out and notification clicks do.
#include "program/app_coordinator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "account/authentication_store.h"
#include "island/notch_layout_model.h"
#include "account/oauth_configuration.h"
#include "platform/manual_main_queue.h"
#include "program/program_arguments.h"
#include "support/fake_transfer_services.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/stand_in_service.h"
#include "transfer/local_transfer_file_preparer.h"
#include "support/temporary_directory.h"
#include "transfer/recent_transfers_store.h"
#include "transfer/transfer_store.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
namespace auth = authentication_state;

class SignInAPI final : public AuthenticationAPI {
 public:
  TokenResult exchange(std::string_view, std::string_view, std::stop_token) override { return token(); }
  TokenResult refresh(std::string_view, std::stop_token) override {
    std::lock_guard lock(mutex_);
    if (refreshFailure) return platform::unexpected(*refreshFailure);
    return tokenLocked();
  }
  void revoke(std::string_view, std::stop_token) override {}
  BootstrapResult bootstrap(std::string_view, std::stop_token) override {
    std::lock_guard lock(mutex_);
    AppBootstrap bootstrap;
    bootstrap.user = {"user-1", "Ada", "ada@example.com", std::nullopt};
    bootstrap.workspace = {workspace, "Workspace", "owner", "team"};
    bootstrap.permissions.canInitiateTransfer = true;
    bootstrap.transferSettings.defaults.region = region;
    bootstrap.transferSettings.defaults.expiryDays = 30;
    return bootstrap;
  }

  std::mutex mutex_;
  std::optional<AuthenticationError> refreshFailure;
  std::string workspace = "workspace-1";
  std::string region = "eu";

 private:
  TokenResult token() {
    std::lock_guard lock(mutex_);
    return tokenLocked();
  }
  TokenResult tokenLocked() {
    std::string scope;
    for (const auto& entry : OAuthConfiguration::scopes()) scope += (scope.empty() ? "" : " ") + entry;
    ++issued_;
    return OAuthTokenResponse{"access-" + std::to_string(issued_), "Bearer", 3600,
                              "refresh-" + std::to_string(issued_), scope};
  }
  int issued_ = 0;
};

class Browser final : public WebAuthenticating {
 public:
  explicit Browser(platform::MainQueue& queue) : queue_(queue) {}
  void authenticate(const platform::Url& url, std::string_view, Completion completion) override {
    pending_ = std::move(completion);
    const auto address = url.toString();
    const auto start = address.find("&state=") + 7;
    state_ = address.substr(start, address.find('&', start) - start);
  }
  void cancel() override {
    if (!pending_) return;
    queue_.post([completion = std::exchange(pending_, nullptr)] {
      completion(platform::unexpected(AuthenticationError(AuthenticationError::Kind::authorizationCancelled)));
    });
  }
  // The user allows in the browser.
  void allow() {
    auto completion = std::exchange(pending_, nullptr);
    completion(std::string(OAuthConfiguration::redirectURIText) + "?code=c&state=" + state_ + "&iss=" + issuer);
  }

  std::string issuer = "https%3A%2F%2Fapp.example.com%2Fapi%2Fauth";

 private:
  platform::MainQueue& queue_;
  Completion pending_;
  std::string state_;
};

class LoginItems final : public LaunchAtLoginServicing {
 public:
  int status() const override { return notRegistered; }
  platform::Expected<platform::Unit, LaunchAtLoginError> registerLoginItem() override { return platform::Unit{}; }
  platform::Expected<platform::Unit, LaunchAtLoginError> unregisterLoginItem() override { return platform::Unit{}; }
  void openLoginItemsSettings() override {}
};

struct Desktop {
  std::vector<std::string> events;
  bool onboardingVisible = false;
  std::function<void()> onUserClose;
  MenuBarControllerActions menuBarActions;
  std::optional<UploadRunID> revealableRun;
  int menuBars = 0;
  int hotKeys = 0;
  std::function<void()> hotKey;
  bool trayShowsIcon = true;
};

class FakeShell final : public ApplicationShell {
 public:
  explicit FakeShell(Desktop& desktop) : desktop_(desktop) {}
  ActivationPolicy activationPolicy() const override { return policy; }
  void setActivationPolicy(ActivationPolicy newPolicy) override {
    policy = newPolicy;
    desktop_.events.push_back(newPolicy == ActivationPolicy::regular ? "policy:regular" : "policy:accessory");
  }
  void terminate() override { desktop_.events.push_back("terminate"); }
  void open(const platform::Url& url) override { desktop_.events.push_back("open:" + url.toString()); }
  platform::Subscription observeDidBecomeActive(std::function<void()> observer) override {
    return activations_.subscribe([observer, first = true](const int&) mutable {
      if (!std::exchange(first, false)) observer();
    });
  }
  void becomeActive() { activations_.set(activations_.value() + 1); }

  ActivationPolicy policy = ActivationPolicy::regular;

 private:
  Desktop& desktop_;
  platform::Observable<int> activations_{0};
};

class FakeMenuBar final : public MenuBarControlling {
 public:
  explicit FakeMenuBar(Desktop& desktop) : desktop_(desktop) { desktop_.events.push_back("menuBar:create"); }
  void showPopover(bool activating) override {
    desktop_.events.push_back(activating ? "popover:activating" : "popover");
  }
  bool revealFailure(const UploadRunID& runID) override {
    const bool found = desktop_.revealableRun == runID;
    desktop_.events.push_back(found ? "reveal:found" : "reveal:missing");
    return found;
  }
  void invalidate() override { desktop_.events.push_back("menuBar:invalidate"); }
  bool isStatusItemShown() const override { return desktop_.trayShowsIcon; }

 private:
  Desktop& desktop_;
};

class FakeOnboardingWindow final : public OnboardingWindowControlling {
 public:
  explicit FakeOnboardingWindow(Desktop& desktop) : desktop_(desktop) {}
  void show() override {
    desktop_.onboardingVisible = true;
    desktop_.events.push_back("onboarding:show");
  }
  bool isWindowVisible() const override { return desktop_.onboardingVisible; }
  void orderOut() override {
    if (desktop_.onboardingVisible) desktop_.events.push_back("onboarding:orderOut");
    desktop_.onboardingVisible = false;
  }
  void setOnUserClose(std::function<void()> onUserClose) override { desktop_.onUserClose = std::move(onUserClose); }

 private:
  Desktop& desktop_;
};

class AppCoordinatorTest : public ::testing::Test {
 protected:
  // Starts the program as its entry does with `arguments`; with a stored refresh token the session
  // restores.
  void launch(bool storedSession, bool onboarded, std::vector<std::string> arguments = {}) {
    if (storedSession) (void)keychain->save("refresh-stored");
    if (onboarded) preferences->setCompletedOnboardingVersion(1);
    AppEnvironment environment;
    environment.filePreparer = filePreparer ? filePreparer : preparer;
    environment.uploadEngine = std::make_shared<testing::FakeUploadEngine>(*queue);
    environment.filePicker = std::make_shared<testing::FakeTransferFilePicker>(*queue);
    environment.linkOpener = std::make_shared<testing::RecordingLinkOpener>();
    environment.clipboard = clipboard;
    environment.transferNotifier = std::make_shared<testing::RecordingTransferNotifier>();
    environment.applicationLinks = ApplicationLinks{webAppURL};
    environment.clock = std::make_shared<testing::ImmediateTransferClock>();
    environment.oauthConfiguration = OAuthConfiguration{webAppURL};
    environment.uploadSecurityPolicy = UploadSecurityPolicy::defaultPolicy();
    environment.authenticationAPI = api;
    environment.refreshTokenStore = keychain;
    environment.webAuthentication = browser;
    environment.appPreferences = preferences;
    environment.launchAtLoginService = std::make_shared<LoginItems>();

    AppCoordinatorPlatform platform;
    platform.mainQueue = queue;
    platform.shell = shell;
    platform.makeMenuBar = [this](MenuBarDependencies dependencies) {
      ++desktop.menuBars;
      desktop.menuBarActions = dependencies.actions;
      return std::make_unique<FakeMenuBar>(desktop);
    };
    platform.makeOnboardingWindow = [this](OnboardingDependencies dependencies) {
      onDone = dependencies.onDone;
      return std::make_unique<FakeOnboardingWindow>(desktop);
    };
    platform.registerHotKey = [this](std::function<void()> action) -> std::shared_ptr<void> {
      ++desktop.hotKeys;
      desktop.hotKey = std::move(action);
      return std::make_shared<int>(0);
    };
    platform.now = [] { return std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 56)); };
    platform.apiSession = apiSession;
    platform.uploadSession = apiSession;
    const auto run = std::get<program_arguments::Run>(parseProgramArguments(arguments));
    coordinator = AppCoordinator::make(std::move(environment), run.showDockIcon, std::move(platform));
    if (isStartedByUser(run)) coordinator->startedByUser();
    settle();
  }

  void settle() { ASSERT_TRUE(queue->runUntil([] { return false; }, 200ms) || true); }
  bool signedIn() const { return authenticatedAccount(coordinator->authenticationStore()->state()) != nullptr; }
  void signInThroughBrowser() {
    coordinator->authenticationStore()->signIn();
    settle();
    browser->allow();
    ASSERT_TRUE(queue->runUntil([&] { return signedIn(); }, 10s));
    settle();
  }
  void clearEvents() { desktop.events.clear(); }

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  testing::TemporaryDirectory directory;
  platform::Url webAppURL = *platform::Url::parse("https://app.example.com");
  std::shared_ptr<SignInAPI> api = std::make_shared<SignInAPI>();
  std::shared_ptr<testing::InMemoryRefreshTokenStore> keychain = std::make_shared<testing::InMemoryRefreshTokenStore>();
  std::shared_ptr<Browser> browser = std::make_shared<Browser>(*queue);
  std::shared_ptr<testing::FakeTransferFilePreparer> preparer = std::make_shared<testing::FakeTransferFilePreparer>(*queue);
  std::shared_ptr<TransferFilePreparing> filePreparer;  // the fake above when empty
  std::shared_ptr<platform::HttpTransport> apiSession;
  std::shared_ptr<testing::RecordingClipboard> clipboard = std::make_shared<testing::RecordingClipboard>();
  std::shared_ptr<AppPreferences> preferences =
      std::make_shared<AppPreferences>(std::make_shared<UserDefaults>(directory.path() / "defaults.json"));
  Desktop desktop;
  std::shared_ptr<FakeShell> shell = std::make_shared<FakeShell>(desktop);
  std::function<void()> onDone;
  std::shared_ptr<AppCoordinator> coordinator;
};

TEST_F(AppCoordinatorTest, FirstLaunchShowsOnboardingWithTheTaskbarEntryUntilDone) {
  launch(/*storedSession=*/false, /*onboarded=*/false);
  EXPECT_EQ(shell->policy, ActivationPolicy::regular);
  EXPECT_TRUE(desktop.onboardingVisible);
  EXPECT_EQ(desktop.menuBars, 0);
  EXPECT_EQ(desktop.hotKeys, 1);

  // Done while not signed in does nothing.
  onDone();
  EXPECT_EQ(preferences->completedOnboardingVersion(), 0);

  signInThroughBrowser();
  // Signed in on the first run: the window and the tray icon together, still in the taskbar.
  EXPECT_TRUE(desktop.onboardingVisible);
  EXPECT_EQ(desktop.menuBars, 1);
  EXPECT_EQ(shell->policy, ActivationPolicy::regular);

  onDone();
  settle();
  EXPECT_EQ(preferences->completedOnboardingVersion(), 1);
  EXPECT_FALSE(desktop.onboardingVisible);
  EXPECT_EQ(desktop.menuBars, 1);
  EXPECT_EQ(shell->policy, ActivationPolicy::accessory);
}

TEST_F(AppCoordinatorTest, TheIslandStaysSwitchedOff) {
  launch(true, true);
  // Only the layout model exists, without geometry: there is no island to show.
  EXPECT_FALSE(coordinator->notchLayout().geometry().has_value());
  EXPECT_EQ(coordinator->notchLayout().topClearance(), 0);
  EXPECT_FALSE(coordinator->notchLayout().hasNotch());
  // The island switch changes nothing the user sees.
  clearEvents();
  preferences->setQuickDropEnabled(true);
  settle();
  EXPECT_THAT(desktop.events, ::testing::IsEmpty());
}

TEST_F(AppCoordinatorTest, ClosingOnboardingQuitsUnlessSignedIn) {
  launch(false, false);
  desktop.onUserClose();
  EXPECT_THAT(desktop.events, ::testing::Contains("terminate"));

  clearEvents();
  signInThroughBrowser();
  desktop.onUserClose();
  settle();
  EXPECT_THAT(desktop.events, ::testing::Not(::testing::Contains("terminate")));
  EXPECT_EQ(preferences->completedOnboardingVersion(), 1);
}

TEST_F(AppCoordinatorTest, LaterLaunchRestoresToTheTrayAloneUnlessAskedToKeepTheTaskbarEntry) {
  launch(true, true);
  EXPECT_TRUE(signedIn());
  EXPECT_FALSE(desktop.onboardingVisible);
  EXPECT_EQ(desktop.menuBars, 1);
  EXPECT_EQ(shell->policy, ActivationPolicy::accessory);
}

TEST_F(AppCoordinatorTest, ShowDockIconArgumentKeepsTheRegularPolicy) {
  launch(true, true, {"tavrel", "--show-dock-icon"});
  EXPECT_EQ(desktop.menuBars, 1);
  EXPECT_EQ(shell->policy, ActivationPolicy::regular);
}

TEST_F(AppCoordinatorTest, ARestoreThatEndsSignedOutShowsOnboardingAndNoTray) {
  api->refreshFailure = AuthenticationError(AuthenticationError::Kind::invalidGrant);
  launch(true, true);
  EXPECT_FALSE(signedIn());
  EXPECT_TRUE(desktop.onboardingVisible);
  EXPECT_EQ(shell->policy, ActivationPolicy::regular);
  // The tray icon kept while restoring goes once the session is known to be gone.
  EXPECT_FALSE(coordinator->hasMenuBar());
  EXPECT_THAT(desktop.events, ::testing::Contains("menuBar:invalidate"));
}

TEST_F(AppCoordinatorTest, SignOutShowsOnboardingAtOnceAndIgnoresASecondRequest) {
  launch(true, true);
  clearEvents();
  desktop.menuBarActions.onSignOut();
  desktop.menuBarActions.onSignOut();
  EXPECT_TRUE(coordinator->isSigningOut());
  EXPECT_TRUE(desktop.onboardingVisible);
  EXPECT_EQ(shell->policy, ActivationPolicy::regular);
  ASSERT_TRUE(queue->runUntil([&] { return !coordinator->isSigningOut(); }, 10s));
  settle();
  EXPECT_FALSE(coordinator->hasMenuBar());
  EXPECT_EQ(std::count(desktop.events.begin(), desktop.events.end(), "menuBar:invalidate"), 1);
  EXPECT_TRUE(queue->runUntil([&] { return keychain->token() == std::nullopt; }, 10s));
}

TEST_F(AppCoordinatorTest, HotKeyOpensThePopoverOnlyOnceOnboardedAndNotSignedOut) {
  launch(false, false);
  desktop.hotKey();
  EXPECT_THAT(desktop.events, ::testing::Not(::testing::Contains("popover:activating")));

  api->refreshFailure = AuthenticationError(AuthenticationError::Kind::invalidGrant);
  coordinator.reset();
  desktop = Desktop{};
  launch(true, true);
  desktop.hotKey();  // signed out
  EXPECT_THAT(desktop.events, ::testing::Not(::testing::Contains("popover:activating")));
}

TEST_F(AppCoordinatorTest, HotKeyWhileSignedInOpensThePopover) {
  launch(true, true);
  clearEvents();
  desktop.hotKey();
  EXPECT_THAT(desktop.events, ElementsAre("popover:activating"));
}

TEST_F(AppCoordinatorTest, StartingTheProgramAgainRaisesOnboardingOrOpensThePopover) {
  launch(false, false);
  clearEvents();
  coordinator->reopen();
  EXPECT_THAT(desktop.events, ElementsAre("onboarding:show"));

  signInThroughBrowser();
  onDone();
  settle();
  ASSERT_FALSE(desktop.onboardingVisible);
  // Onboarded, with no window left: the popover is the only way back in when there is no tray.
  clearEvents();
  coordinator->reopen();
  EXPECT_THAT(desktop.events, ElementsAre("popover:activating"));
}

TEST_F(AppCoordinatorTest, WithoutATrayIconAStartByTheUserOpensThePopoverAndTheSessionsStartsStayQuiet) {
  const auto start = [&](std::vector<std::string> arguments, bool onboarded = true) {
    coordinator.reset();
    desktop = Desktop{};
    desktop.trayShowsIcon = false;
    preferences->setCompletedOnboardingVersion(0);
    launch(true, onboarded, std::move(arguments));
    return std::count(desktop.events.begin(), desktop.events.end(), "popover:activating");
  };
  // Opened while the session restores, and kept once it has; so also after the browser's start.
  EXPECT_EQ(start({}), 1);
  EXPECT_TRUE(signedIn());
  EXPECT_FALSE(desktop.onboardingVisible);
  EXPECT_EQ(shell->policy, ActivationPolicy::accessory);
  EXPECT_THAT(desktop.events, ::testing::Not(::testing::Contains("menuBar:invalidate")));
  EXPECT_EQ(start({"com.tavrel.macos:/oauth/callback?code=c&state=s"}), 1);
  // Open at Login, and a restored desktop session: the tray's status item alone, as ever.
  EXPECT_EQ(start({"--at-login"}), 0);
  EXPECT_EQ(desktop.menuBars, 1);
  EXPECT_EQ(start({"-session", "10d2a7c3f1000170000000021_1702200000_123456"}), 0);
  // Before onboarding is done its window shows, alone.
  EXPECT_EQ(start({}, /*onboarded=*/false), 0);
  EXPECT_TRUE(desktop.onboardingVisible);
}

TEST_F(AppCoordinatorTest, WithATrayIconAStartByTheUserShowsTheIconAlone) {
  launch(true, true);
  EXPECT_EQ(desktop.menuBars, 1);
  EXPECT_THAT(desktop.events, ::testing::Not(::testing::Contains("popover:activating")));
}

TEST_F(AppCoordinatorTest, NotificationClicksOpenTheTransferPageOrThePopover) {
  launch(true, true);
  clearEvents();
  coordinator->handleNotificationResponse(transfer_notification_response::Completed{UploadRunID::generate(), "T42"});
  coordinator->handleNotificationResponse(transfer_notification_response::Completed{UploadRunID::generate(), std::string()});
  const auto run = UploadRunID::generate();
  coordinator->handleNotificationResponse(transfer_notification_response::Failed{run});
  desktop.revealableRun = run;
  coordinator->handleNotificationResponse(transfer_notification_response::Failed{run});
  EXPECT_THAT(desktop.events, ElementsAre("open:https://app.example.com/transfers/T42", "popover:activating",
                                          "reveal:missing", "popover:activating", "reveal:found"));
}

TEST_F(AppCoordinatorTest, MenuActionsOpenPagesAndCopyOnlyRealLinks) {
  launch(true, true);
  clearEvents();
  desktop.menuBarActions.onViewTransfers();
  desktop.menuBarActions.onViewTransferSettings();
  desktop.menuBarActions.onManageAccount();
  desktop.menuBarActions.onViewRecentTransfer("T7");
  desktop.menuBarActions.onCopyRecentTransferLink("");
  desktop.menuBarActions.onCopyRecentTransferLink("abc123");
  EXPECT_THAT(desktop.events, ElementsAre("open:https://app.example.com/transfers",
                                          "open:https://app.example.com/settings/transfer",
                                          "open:https://app.example.com/settings/profile",
                                          "open:https://app.example.com/transfers/T7"));
  EXPECT_THAT(clipboard->written, ElementsAre("https://app.example.com/dl/abc123"));
}

TEST_F(AppCoordinatorTest, TransferDefaultsFollowTheAccountOrFallBackToTheStandardOnes) {
  api->region = "ap";  // a region the program does not know
  launch(true, true);
  coordinator->transferStore()->send(transfer_action::EnqueueURLs{{directory.path()}, TransferStartPolicy::requiresReview});
  settle();
  ASSERT_FALSE(preparer->requests().empty());
  EXPECT_EQ(preparer->requests().back().defaults, AppEnvironment::initialTransferDefaults());
}

TEST_F(AppCoordinatorTest, BecomingActiveRefreshesTheHandoffScan) {
  launch(true, true);
  int scans = 0;
  coordinator->setShareHandoffScan([&] { ++scans; });
  shell->becomeActive();
  settle();
  EXPECT_EQ(scans, 1);
}

// Signing out while a file uploads: the session ends at once, yet the abandoned transfer is still
// deleted on the service, with the session's last token.
TEST_F(AppCoordinatorTest, SignOutDeletesTheAbandonedTransferOnTheService) {
  testing::StandInService service;
  service.setAcceptedTokens({"access-1"});
  service.addFault(testing::StandInService::Endpoint::storagePut, 1, testing::Fault::stall());
  webAppURL = service.webAppURL();
  apiSession = testing::makeStandInSession();
  filePreparer = std::make_shared<LocalTransferFilePreparer>(*queue);
  launch(true, true);
  ASSERT_TRUE(signedIn());

  const auto file = directory.writeFile("report.pdf", std::string(64 * 1024, 'x'));
  coordinator->transferStore()->send(transfer_action::EnqueueURLs{{file}, TransferStartPolicy::automatic});
  ASSERT_TRUE(queue->runUntil(
      [&] { return service.requestCount(testing::StandInService::Endpoint::storagePut) >= 1; }, 30s));

  desktop.menuBarActions.onSignOut();
  EXPECT_FALSE(signedIn());
  ASSERT_TRUE(queue->runUntil([&] { return !coordinator->isSigningOut(); }, 30s));
  const auto deletes = service.requests(testing::StandInService::Endpoint::deleteTransfer);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_THAT(deletes.front().headers,
              ::testing::Contains(platform::HttpHeader{"Authorization", "Bearer access-1"}));
}

// The service's answer to a delete waits until the test lets it through, as a hung delete waits out
// the session's idle timeout.
class HeldDeletes final : public platform::HttpTransport {
 public:
  platform::Expected<platform::HttpResponse, platform::TransportError> send(const platform::HttpRequest& request,
                                                                          std::stop_token stop,
                                                                          platform::UploadProgress progress) override {
    if (request.method == "DELETE") {
      std::unique_lock lock(mutex_);
      ++waiting_;
      released_.wait(lock, [&] { return isReleased_; });
    }
    return inner_->send(request, std::move(stop), std::move(progress));
  }
  int waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
  }
  void release() {
    std::lock_guard lock(mutex_);
    isReleased_ = true;
    released_.notify_all();
  }

 private:
  std::shared_ptr<platform::HttpTransport> inner_ = testing::makeStandInSession();
  std::mutex mutex_;
  std::condition_variable released_;
  int waiting_ = 0;
  bool isReleased_ = false;
};

// Signing in again while the previous session's clean-up still waits on the service: the clean-up
// ends without touching the new session's transfer, its delete goes out with the old session's
// token, and the new transfer is created and completed with the new session's.
TEST_F(AppCoordinatorTest, SigningInAgainDuringASlowSignOutKeepsTheNewSessionsTransfer) {
  testing::StandInService service;
  service.setAcceptedTokens({"access-1", "access-2"});
  service.addFault(testing::StandInService::Endpoint::storagePut, 1, testing::Fault::stall());
  webAppURL = service.webAppURL();
  auto origin = webAppURL.toString();
  if (origin.ends_with('/')) origin.pop_back();
  browser->issuer = platform::percentEncode(origin + "/api/auth", platform::CharacterSet::unreserved());
  auto transport = std::make_shared<HeldDeletes>();
  apiSession = transport;
  struct ReleaseAtEnd {
    HeldDeletes& transport;
    ~ReleaseAtEnd() { transport.release(); }
  } releaseAtEnd{*transport};
  filePreparer = std::make_shared<LocalTransferFilePreparer>(*queue);
  launch(true, true);
  ASSERT_TRUE(signedIn());
  const auto& store = *coordinator->transferStore();

  const auto first = directory.writeFile("first.pdf", std::string(64 * 1024, 'x'));
  coordinator->transferStore()->send(transfer_action::EnqueueURLs{{first}, TransferStartPolicy::automatic});
  ASSERT_TRUE(queue->runUntil(
      [&] { return service.requestCount(testing::StandInService::Endpoint::storagePut) >= 1; }, 30s));
  desktop.menuBarActions.onSignOut();
  ASSERT_TRUE(queue->runUntil([&] { return transport->waiting() == 1; }, 30s));

  signInThroughBrowser();
  const auto second = directory.writeFile("second.pdf", std::string(1024, 'y'));
  coordinator->transferStore()->send(transfer_action::EnqueueURLs{{second}, TransferStartPolicy::automatic});
  ASSERT_TRUE(queue->runUntil([&] { return activeUpload(store.state().phase) != nullptr; }, 30s));
  transport->release();

  ASSERT_TRUE(queue->runUntil([&] { return !coordinator->isSigningOut(); }, 30s));
  ASSERT_TRUE(queue->runUntil(
      [&] { return std::holds_alternative<transfer_phase::Completed>(store.state().phase); }, 30s))
      << "the new session's transfer was lost";
  EXPECT_TRUE(store.state().failures.empty());
  const auto creates = service.requests(testing::StandInService::Endpoint::createTransfer);
  ASSERT_EQ(creates.size(), 2u);
  EXPECT_THAT(creates.back().headers, ::testing::Contains(platform::HttpHeader{"Authorization", "Bearer access-2"}));
  const auto deletes = service.requests(testing::StandInService::Endpoint::deleteTransfer);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_THAT(deletes.front().headers, ::testing::Contains(platform::HttpHeader{"Authorization", "Bearer access-1"}));
  EXPECT_TRUE(signedIn());
}

// The road on which the recent list was reported to show its error placeholder: a sign-out, a sign-in
// cancelled while the browser was open, then a sign-in that completes. The list loads for the new
// session with its token, as after a plain sign-in.
TEST_F(AppCoordinatorTest, TheRecentListLoadsAfterASignInCancelledInTheBrowser) {
  testing::StandInService service;
  service.setAcceptedTokens({"access-1", "access-2", "access-3", "access-4"});
  webAppURL = service.webAppURL();
  auto origin = webAppURL.toString();
  if (origin.ends_with('/')) origin.pop_back();
  browser->issuer = platform::percentEncode(origin + "/api/auth", platform::CharacterSet::unreserved());
  apiSession = testing::makeStandInSession();
  launch(true, true);
  ASSERT_TRUE(signedIn());
  auto& recent = *coordinator->recentTransfersStore();
  recent.refresh(false);
  ASSERT_TRUE(queue->runUntil([&] { return !recent.isLoading().value(); }, 10s));
  EXPECT_FALSE(recent.errorMessage().value());

  desktop.menuBarActions.onSignOut();
  ASSERT_TRUE(queue->runUntil([&] { return !coordinator->isSigningOut(); }, 10s));
  settle();
  coordinator->authenticationStore()->signIn();
  settle();
  coordinator->authenticationStore()->signOut();  // Cancel on "Finish in your browser"
  settle();
  signInThroughBrowser();
  onDone();
  settle();
  recent.refresh(false);
  ASSERT_TRUE(queue->runUntil([&] { return !recent.isLoading().value(); }, 10s));
  EXPECT_FALSE(recent.errorMessage().value()) << *recent.errorMessage().value();
  const auto lists = service.requests(testing::StandInService::Endpoint::recentTransfers);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_THAT(lists.back().headers, ::testing::Contains(platform::HttpHeader{"Authorization", "Bearer access-2"}));
}

}  // namespace
}  // namespace tavrel
