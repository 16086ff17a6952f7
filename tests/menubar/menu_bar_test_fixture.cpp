#include "menubar/menu_bar_test_fixture.h"

#include "platform/uuid.h"

#include "account/oauth_configuration.h"

namespace tavrel::testing {

namespace auth = authentication_state;

AuthenticationAPI::TokenResult FakeAuthenticationAPI::token() {
  std::string scope;
  for (const auto& entry : OAuthConfiguration::scopes()) scope += (scope.empty() ? "" : " ") + entry;
  ++issued_;
  return OAuthTokenResponse{"access-" + std::to_string(issued_), "Bearer", 3600, "refresh-" + std::to_string(issued_),
                            scope};
}

AuthenticationAPI::TokenResult FakeAuthenticationAPI::exchange(std::string_view, std::string_view, std::stop_token) {
  std::lock_guard lock(mutex_);
  return token();
}

AuthenticationAPI::TokenResult FakeAuthenticationAPI::refresh(std::string_view, std::stop_token) {
  std::lock_guard lock(mutex_);
  if (refreshFailure_) return platform::unexpected(*refreshFailure_);
  return token();
}

AuthenticationAPI::BootstrapResult FakeAuthenticationAPI::bootstrap(std::string_view, std::stop_token) {
  std::lock_guard lock(mutex_);
  AppBootstrap bootstrap;
  bootstrap.user = {"user-1", name_, email_, std::nullopt};
  bootstrap.workspace = {"workspace-1", "Workspace", "owner", "team"};
  bootstrap.permissions.canInitiateTransfer = canInitiateTransfer_;
  bootstrap.transferSettings.defaults.region = "na";
  bootstrap.transferSettings.defaults.expiryDays = 7;
  return bootstrap;
}

void FakeAuthenticationAPI::setRefreshFailure(std::optional<AuthenticationError> failure) {
  std::lock_guard lock(mutex_);
  refreshFailure_ = std::move(failure);
}

void FakeAuthenticationAPI::setCanInitiateTransfer(bool canInitiate) {
  std::lock_guard lock(mutex_);
  canInitiateTransfer_ = canInitiate;
}

void FakeAuthenticationAPI::setUser(std::optional<std::string> name, std::string email) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
  email_ = std::move(email);
}

void WaitingBrowser::authenticate(const platform::Url&, std::string_view, Completion completion) {
  pending_ = std::move(completion);
}

void WaitingBrowser::cancel() {
  if (!pending_) return;
  queue_.post([completion = std::exchange(pending_, nullptr)] {
    completion(platform::unexpected(AuthenticationError(AuthenticationError::Kind::authorizationCancelled)));
  });
}

platform::Subscription FakeMenuBarSettings::subscribe(std::function<void()> onChange) {
  return changes_.subscribe([onChange = std::move(onChange), first = true](const int&) mutable {
    if (std::exchange(first, false)) return;
    onChange();
  });
}

void FakeMenuBarSettings::set(LaunchAtLoginStatus newStatus, std::optional<std::string> message) {
  status = newStatus;
  failureMessage = std::move(message);
  changes_.set(changes_.value() + 1);
}

MenuBarControllerActions RecordedActions::actions() {
  auto record = [this](std::string name) { return [this, name] { calls.push_back(name); }; };
  return {record("willShow"),
          record("toggleQuickDrop"),
          record("viewTransfers"),
          record("viewTransferSettings"),
          [this](const std::string& id) { calls.push_back("viewRecent:" + id); },
          [this](const std::string& slug) { calls.push_back("copy:" + slug); },
          record("manageAccount"),
          record("signOut"),
          record("quit")};
}

MenuBarStoresTest::MenuBarStoresTest() {
  preparer = std::make_shared<FakeTransferFilePreparer>(*queue);
  engine = std::make_shared<FakeUploadEngine>(*queue);
  picker = std::make_shared<FakeTransferFilePicker>(*queue);
  recentAPI = std::make_shared<FakeRecentTransfersAPI>(*queue);
  browser = std::make_shared<WaitingBrowser>(*queue);
  authentication = AuthenticationStore::make(OAuthConfiguration{*platform::Url::parse("https://app.example.com")},
                                             authAPI, keychain, browser, queue, [this] { return wallClock; });
  recent = std::make_unique<RecentTransfersStore>(recentAPI, std::chrono::seconds(60), [this] { return wallClock; });
  TransferStore::Services services{preparer,
                                   engine,
                                   picker,
                                   std::make_shared<RecordingLinkOpener>(),
                                   std::make_shared<RecordingClipboard>(),
                                   std::make_shared<RecordingTransferNotifier>(),
                                   ApplicationLinks{*platform::Url::parse("https://app.example.com")},
                                   std::make_shared<ImmediateTransferClock>()};
  TransferStore::Closures closures;
  closures.transferDefaults = [] { return TransferDefaults{7, TransferRegion::na, false, false, std::nullopt, true}; };
  closures.canInitiateTransfer = [this] { return authentication->canInitiateTransfer(); };
  closures.makeTransferItemID = [this] { return itemIDs.emplace_back(TransferItemID::generate()); };
  store = std::make_unique<TransferStore>(*queue, std::move(services), std::move(closures));
}

MenuBarStoresTest::~MenuBarStoresTest() {
  store.reset();
  recent.reset();
  authentication->signOut();
  authentication.reset();
  queue->runUntilIdle();
}

void MenuBarStoresTest::signOut() {
  if (std::holds_alternative<auth::Restoring>(authentication->state())) {
    authentication->restore();
  } else {
    authentication->signOut();
  }
  ASSERT_TRUE(queue->runUntil([&] { return std::holds_alternative<auth::SignedOut>(authentication->state()); }));
}

void MenuBarStoresTest::beginSignIn() {
  signOut();
  authentication->signIn();
  ASSERT_TRUE(queue->runUntil([&] { return std::holds_alternative<auth::Authorizing>(authentication->state()); }));
}

void MenuBarStoresTest::signIn(bool canInitiateTransfer) {
  authAPI->setCanInitiateTransfer(canInitiateTransfer);
  keychain->save("stored-refresh-token").value();
  authentication->restore();
  ASSERT_TRUE(queue->runUntil([&] { return std::holds_alternative<auth::Authenticated>(authentication->state()); }));
}

void MenuBarStoresTest::becomeUnavailable() {
  authAPI->setRefreshFailure(AuthenticationError(AuthenticationError::Kind::transportUnavailable));
  keychain->save("stored-refresh-token").value();
  authentication->restore();
  ASSERT_TRUE(queue->runUntil(
      [&] { return std::holds_alternative<auth::TemporarilyUnavailable>(authentication->state()); }));
}

TransferItemID MenuBarStoresTest::enqueue(const std::string& name) {
  store->send(transfer_action::EnqueueURLs{{directory.writeFile(name, "hello")}, TransferStartPolicy::automatic});
  return itemIDs.back();
}

TransferItemID MenuBarStoresTest::startPreparing(const std::string& name) {
  const auto id = enqueue(name);
  settle();
  return id;
}

TransferItemID MenuBarStoresTest::reviewReady(const std::string& name) {
  store->send(transfer_action::EnqueueURLs{{directory.writeFile(name, "hello")}, TransferStartPolicy::requiresReview});
  settle();
  preparer->succeed();
  settle();
  return itemIDs.back();
}

TransferItemID MenuBarStoresTest::startUploading(const std::string& name) {
  const auto id = startPreparing(name);
  preparer->succeed();
  settle();
  return id;
}

TransferItemID MenuBarStoresTest::failUploading(const std::string& name, const std::string& message) {
  const auto id = startUploading(name);
  engine->fail(message);
  settle();
  return id;
}

void MenuBarStoresTest::completeUpload() {
  engine->complete(engine->completedTransferOf(engine->runs().size() - 1));
  settle();
}

void MenuBarStoresTest::loadRecent(std::vector<RecentTransfer> transfers) {
  recent->refresh(true);
  recentAPI->answer(RecentTransfersOutcome{std::move(transfers)});
  settle();
}

RecentTransfer MenuBarStoresTest::recentTransfer(const std::string& id, const std::string& title,
                                                 std::int64_t fileCount, std::string slug) {
  RecentTransfer transfer;
  transfer.id = id;
  transfer.title = title;
  transfer.fileCount = fileCount;
  transfer.totalBytes = 1'200'000;
  transfer.createdAt = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 56)) - std::chrono::hours(2);
  transfer.downloadSlug = std::move(slug);
  return transfer;
}

}  // namespace tavrel::testing
