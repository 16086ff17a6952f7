// The whole road of a dropped folder, with every real part between the drop and the share link: the
// transfer store, the local preparer, the native engine and both service clients over real TLS to the
// service stand-in, with bearer tokens handed out by the authentication store, which restores and
// renews the session against the sign-in stand-in.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "account/authentication_api_client.h"
#include "account/authentication_store.h"
#include "platform/manual_main_queue.h"
#include "service/native_upload_engine.h"
#include "service/tavrel_api_client.h"
#include "service/tavrel_recent_transfers_api_client.h"
#include "service/upload_security_policy.h"
#include "support/fake_transfer_services.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/stand_in_auth_server.h"
#include "support/stand_in_service.h"
#include "support/temporary_directory.h"
#include "transfer/local_transfer_file_preparer.h"
#include "transfer/recent_transfers_store.h"
#include "transfer/transfer_store.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using testing::Fault;
using testing::StandInResponse;
using testing::StandInService;
using Endpoint = StandInService::Endpoint;
using ::testing::ElementsAre;

constexpr std::size_t MiB = 1024 * 1024;

std::string contentsOf(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  std::uint32_t state = seed * 2654435761u + 7;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

// The browser is never needed: the session is restored from the stored refresh token.
class UnusedBrowser final : public WebAuthenticating {
 public:
  void authenticate(const platform::Url&, std::string_view, Completion completion) override {
    completion(platform::unexpected(AuthenticationError(AuthenticationError::Kind::authorizationCancelled)));
  }
  void cancel() override {}
};

class TransferRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The smallest part size storage allows, so a file of a few MiB already goes in parts.
    service.setMultipartThreshold(static_cast<std::int64_t>(5 * MiB));
    service.setPartSize(static_cast<std::int64_t>(5 * MiB));

    TransferStore::Services services{std::make_shared<LocalTransferFilePreparer>(*queue),
                                     engine,
                                     std::make_shared<testing::FakeTransferFilePicker>(*queue),
                                     std::make_shared<testing::RecordingLinkOpener>(),
                                     clipboard,
                                     notifier,
                                     links,
                                     clock};
    TransferStore::Closures closures;
    closures.transferDefaults = [] { return TransferDefaults{7, TransferRegion::eu, false, false, std::nullopt, false}; };
    closures.canInitiateTransfer = [this] { return authStore->canInitiateTransfer(); };
    closures.onCompletedTransfer = [this](const CompletedTransfer& completed) { recent.record(completed); };
    store = std::make_unique<TransferStore>(*queue, std::move(services), std::move(closures));

    // What the coordinator does with the session: the service honours only the newest access token,
    // and leaving the signed-in state stops the transfers and clears the recent list.
    authSubscription = authStore->subscribe([this](const AuthenticationState& state) {
      const auto* account = authenticatedAccount(state);
      if (account) {
        if (issuedTokens.empty() || issuedTokens.back() != account->accessToken) {
          issuedTokens.push_back(account->accessToken);
        }
        service.setAcceptedTokens({account->accessToken});
      } else {
        service.setAcceptedTokens({});
      }
      if (wasSignedIn && !account) {
        store->send(transfer_action::AuthenticationEnded{});
        recent.reset();
      }
      wasSignedIn = account != nullptr;
    });

    authStore->restore();
    ASSERT_TRUE(queue->runUntil([&] { return authStore->canInitiateTransfer(); }, 60s));
    recent.refresh();
    ASSERT_TRUE(queue->runUntil([&] { return recent.hasCompleteSnapshot().value(); }, 60s))
        << recent.errorMessage().value().value_or("");
  }

  std::filesystem::path makeFolder(const std::string& name,
                                   const std::vector<std::pair<std::string, std::size_t>>& files) {
    const auto folder = directory.makeDirectory(name);
    for (const auto& [path, size] : files) directory.writeFile(name + "/" + path, contentsOf(size, ++seed));
    return folder;
  }
  void drop(const std::filesystem::path& folder) {
    store->send(transfer_action::EnqueueURLs{{folder}, TransferStartPolicy::automatic});
  }

  const CompletedTransfer* completed() const { return completedTransfer(store->state().phase); }
  std::string failureText() const {
    std::string text;
    for (const auto& failure : store->state().failures) text += failure.message + "\n";
    return text;
  }
  // Waits for the current item to complete or fail; HTTP runs on worker threads meanwhile.
  bool waitForOutcome() {
    return queue->runUntil([&] { return completed() || !store->state().failures.empty(); }, 120s);
  }
  bool waitForStoragePut() {
    return queue->runUntil([&] { return service.storageServer().waitForRequestsStarted(1, 0ms); }, 60s);
  }
  bool storageHoldsEveryFile(const CompletedTransfer& transfer) const {
    bool holds = !transfer.preparedTransfer.files.empty();
    for (const auto& file : transfer.preparedTransfer.files) {
      const bool stored = service.storageHolds(*transfer.transferID, file.referenceID, file.sourceURL);
      EXPECT_TRUE(stored) << file.relativePath;
      holds = holds && stored;
    }
    return holds;
  }
  std::vector<std::string> bearers(Endpoint endpoint) const {
    std::vector<std::string> tokens;
    for (const auto& request : service.requests(endpoint)) tokens.push_back(request.header("Authorization").value_or(""));
    return tokens;
  }
  std::string downloadLink(const CompletedTransfer& transfer) const {
    return links.downloadURL(*transfer.downloadSlug).toString();
  }
  std::size_t refreshes() const { return auth.tokenRequestCount("refresh_token"); }

  testing::StandInAuthServer auth;
  StandInService service;
  testing::TemporaryDirectory directory;
  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  // The one API session of the sign-in and both service clients; storage uploads get their own.
  std::shared_ptr<platform::HttpTransport> apiSession = testing::makeStandInSession();
  std::shared_ptr<testing::InMemoryRefreshTokenStore> keychain =
      std::make_shared<testing::InMemoryRefreshTokenStore>(auth.issueRefreshToken());
  std::shared_ptr<AuthenticationStore> authStore = AuthenticationStore::make(
      OAuthConfiguration{auth.webAppURL()},
      std::make_shared<AuthenticationAPIClient>(OAuthConfiguration{auth.webAppURL()}, apiSession), keychain,
      std::make_shared<UnusedBrowser>(), queue, [] { return std::chrono::system_clock::now(); });
  std::shared_ptr<testing::ImmediateTransferClock> clock = std::make_shared<testing::ImmediateTransferClock>();
  std::shared_ptr<NativeUploadEngine> engine = std::make_shared<NativeUploadEngine>(
      std::make_shared<TavrelAPIClient>(service.webAppURL(), authStore, apiSession), clock,
      testing::makeStandInSession(), UploadSecurityPolicy::defaultPolicy(), *queue);
  RecentTransfersStore recent{
      std::make_shared<TavrelRecentTransfersAPIClient>(service.webAppURL(), authStore, apiSession, *queue), 60s,
      [] { return std::chrono::system_clock::now(); }};
  std::shared_ptr<testing::RecordingClipboard> clipboard = std::make_shared<testing::RecordingClipboard>();
  std::shared_ptr<testing::RecordingTransferNotifier> notifier = std::make_shared<testing::RecordingTransferNotifier>();
  ApplicationLinks links{service.webAppURL()};
  std::unique_ptr<TransferStore> store;
  std::vector<std::string> issuedTokens;
  bool wasSignedIn = false;
  unsigned seed = 0;
  platform::Subscription authSubscription;  // last: gone before the store it sends to
};

// A dropped folder is walked, created, registered, sent whole and in parts, completed, folded into the
// recent list, announced, and its link copied; every request carried the session's token.
TEST_F(TransferRoadTest, ADroppedFolderReachesStorageTheRecentListAndTheClipboard) {
  drop(makeFolder("Holiday", {{"notes.txt", 1'000}, {"photos/beach.jpg", 300'000}, {"movie.bin", 11 * MiB}}));
  ASSERT_TRUE(waitForOutcome());
  ASSERT_NE(completed(), nullptr) << failureText();
  const auto transfer = *completed();

  ASSERT_TRUE(transfer.transferID && transfer.downloadSlug);
  const auto stored = service.transfer(*transfer.transferID);
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->completed);
  EXPECT_FALSE(stored->deleted);
  EXPECT_EQ(transfer.preparedTransfer.title, "Holiday");
  std::vector<std::string> paths;
  for (const auto& file : transfer.preparedTransfer.files) paths.push_back(file.relativePath);
  EXPECT_THAT(paths, ElementsAre("Holiday/movie.bin", "Holiday/notes.txt", "Holiday/photos/beach.jpg"));
  EXPECT_TRUE(storageHoldsEveryFile(transfer));
  ASSERT_EQ(stored->files.size(), 3u);
  EXPECT_TRUE(stored->files[0].multipart);
  EXPECT_EQ(stored->files[0].parts.size(), 3u);
  EXPECT_FALSE(stored->files[1].multipart);
  EXPECT_EQ(service.requestCount(Endpoint::completeTransfer), 1u);

  // One session, one token, taken from the store by every request of both clients.
  EXPECT_EQ(refreshes(), 1u);
  ASSERT_EQ(issuedTokens.size(), 1u);
  for (const auto& request : service.serviceServer().requests()) {
    EXPECT_EQ(request.header("Authorization"), "Bearer " + issuedTokens[0]) << request.method << " " << request.path;
  }
  EXPECT_EQ(service.requestCount(Endpoint::recentTransfers), 1u);

  ASSERT_FALSE(recent.transfers().value().empty());
  EXPECT_EQ(recent.transfers().value().front().id, *transfer.transferID);
  EXPECT_EQ(recent.transfers().value().front().title, "Holiday");
  ASSERT_EQ(notifier->notifications.size(), 1u);
  EXPECT_EQ(notifier->notifications[0].outcome, TransferNotification::Outcome::completed);
  EXPECT_EQ(notifier->notifications[0].transferID, transfer.transferID);
  ASSERT_EQ(store->state().terminalSignals.size(), 1u);
  EXPECT_EQ(store->state().terminalSignals[0].outcome, TransferTerminalSignal::Outcome::completed);

  store->send(transfer_action::CopyLink{});
  EXPECT_THAT(clipboard->written, ElementsAre(downloadLink(transfer)));
  EXPECT_EQ(clipboard->written[0], service.webAppURL().toString() + "dl/slug-" + *transfer.transferID);
}

// The service stops taking the access token halfway: the refused call is repeated once with a renewed
// token, the renewal happens exactly once, and everything after it uses the new token.
TEST_F(TransferRoadTest, AnAccessTokenThatExpiresMidTransferIsRenewedOnceAndTheTransferCompletes) {
  const auto refreshToken = *keychain->token();
  service.respond(Endpoint::completeFile, 1,
                  StandInResponse::json(R"({"error":{"code":"unauthorized","message":"The token has expired."}})", 401));
  drop(makeFolder("Holiday", {{"movie.bin", 6 * MiB}, {"notes.txt", 2'000}}));
  ASSERT_TRUE(waitForOutcome());
  ASSERT_NE(completed(), nullptr) << failureText();
  EXPECT_TRUE(storageHoldsEveryFile(*completed()));

  EXPECT_EQ(refreshes(), 2u);  // the restore and one renewal
  ASSERT_EQ(issuedTokens.size(), 2u);
  const auto first = "Bearer " + issuedTokens[0];
  const auto renewed = "Bearer " + issuedTokens[1];
  EXPECT_THAT(bearers(Endpoint::createTransfer), ElementsAre(first));
  // The other file's completion, sent at the same time, may go before the renewal or after it.
  EXPECT_THAT(bearers(Endpoint::completeFile), ElementsAre(first, ::testing::AnyOf(first, renewed), renewed));
  EXPECT_THAT(bearers(Endpoint::completeTransfer), ElementsAre(renewed));
  EXPECT_TRUE(store->state().failures.empty());

  // The rotated refresh token is the one kept.
  ASSERT_TRUE(keychain->token());
  EXPECT_NE(*keychain->token(), refreshToken);
  EXPECT_TRUE(auth.isRefreshTokenValid(*keychain->token()));
}

// Cancelling the upload discards its transfer on the service once; the next drop goes through on its
// own, and nothing of the cancelled one is completed, listed, announced or copied.
TEST_F(TransferRoadTest, ACancelledUploadIsDiscardedAndTheNextDropCompletesOnItsOwn) {
  // The first file's PUT stalls with its bytes already handed to the socket; the second file keeps
  // the progress below the whole, where a cancel is still honoured.
  service.addFault(Endpoint::storagePut, 1, Fault::stall());
  drop(makeFolder("Drafts", {{"a-draft.txt", 2'000}, {"b-notes.txt", 50'000}}));
  ASSERT_TRUE(waitForStoragePut());
  ASSERT_NE(activeUpload(store->state().phase), nullptr);
  ASSERT_LT(activeUpload(store->state().phase)->progress.progress, 1.0);
  const auto cancelledItem = *store->state().currentTransferID;
  ASSERT_EQ(service.transfers().size(), 1u);
  const auto cancelledTransfer = service.transfers()[0].transferId;

  store->send(transfer_action::CancelTransfer{cancelledItem});
  drop(makeFolder("Final", {{"final.txt", 3'000}, {"cover.png", 40'000}}));
  ASSERT_TRUE(waitForOutcome());
  ASSERT_NE(completed(), nullptr) << failureText();
  const auto transfer = *completed();
  EXPECT_EQ(transfer.preparedTransfer.title, "Final");
  ASSERT_TRUE(transfer.transferID);
  EXPECT_NE(*transfer.transferID, cancelledTransfer);
  EXPECT_TRUE(storageHoldsEveryFile(transfer));

  const auto deletes = service.requests(Endpoint::deleteTransfer);
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_EQ(deletes[0].pathMatches.at(0), cancelledTransfer);
  const auto discarded = service.transfer(cancelledTransfer);
  ASSERT_TRUE(discarded);
  EXPECT_TRUE(discarded->deleted);
  EXPECT_FALSE(discarded->completed);
  const auto completions = service.requests(Endpoint::completeTransfer);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].pathMatches.at(0), *transfer.transferID);
  const auto stored = service.transfer(*transfer.transferID);
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->files.size(), 2u);
  for (const auto& file : stored->files) EXPECT_EQ(file.relativePath.rfind("Final/", 0), 0u) << file.relativePath;

  EXPECT_TRUE(store->state().failures.empty());
  ASSERT_EQ(store->state().terminalSignals.size(), 1u);
  EXPECT_NE(store->state().terminalSignals[0].id, cancelledItem);
  ASSERT_EQ(notifier->notifications.size(), 1u);
  EXPECT_EQ(notifier->notifications[0].transferID, transfer.transferID);
  for (const auto& entry : recent.transfers().value()) EXPECT_NE(entry.id, cancelledTransfer);
  store->send(transfer_action::CopyLink{});
  EXPECT_THAT(clipboard->written, ElementsAre(downloadLink(transfer)));
}

// Signing out mid-upload stops the run without a failure, lets the engine discard, forgets the
// refresh token, and leaves a store that refuses new drops until someone signs in.
TEST_F(TransferRoadTest, SigningOutMidUploadEndsTheRunQuietlyAndForgetsTheSession) {
  service.addFault(Endpoint::storagePut, 1, Fault::stall());
  drop(makeFolder("Drafts", {{"draft.txt", 2'000}}));
  ASSERT_TRUE(waitForStoragePut());
  ASSERT_NE(activeUpload(store->state().phase), nullptr);
  const auto refreshToken = *keychain->token();
  const auto serviceRequests = service.serviceServer().requestCount();

  authStore->signOut();
  EXPECT_TRUE(isIdle(store->state().phase));
  bool shutDown = false;
  store->shutDownForSignOut([&] { shutDown = true; });
  ASSERT_TRUE(queue->runUntil([&] { return shutDown && !keychain->token() && auth.revokeRequestCount() == 1; }, 60s));
  queue->runUntilIdle();

  EXPECT_EQ(store->state(), TransferFeatureState{});
  EXPECT_TRUE(notifier->notifications.empty());
  EXPECT_TRUE(recent.transfers().value().empty());
  EXPECT_FALSE(recent.hasCompleteSnapshot().value());
  EXPECT_THAT(auth.revokedTokens(), ElementsAre(refreshToken));
  EXPECT_FALSE(auth.isRefreshTokenValid(refreshToken));
  ASSERT_EQ(service.transfers().size(), 1u);
  EXPECT_FALSE(service.transfers()[0].completed);
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 0u);
  // The engine's discard comes after the session has ended, so nothing more reaches the service:
  // no request goes out with a revoked token.
  EXPECT_EQ(service.serviceServer().requestCount(), serviceRequests);

  // Signed out, a drop is refused at the gate and reaches nothing.
  drop(makeFolder("Later", {{"later.txt", 500}}));
  queue->runUntilIdle();
  EXPECT_EQ(store->state(), TransferFeatureState{});
  EXPECT_EQ(service.serviceServer().requestCount(), serviceRequests);
}

// A program that sits in the tray meets servers that close connections left idle between its
// requests: here every server closes a connection once it has sat idle for a second, and an access
// token that lives two seconds is renewed after one.
class IdleConnectionsRoadTest : public TransferRoadTest {
 protected:
  void SetUp() override {
    for (auto* server : {&service.serviceServer(), &service.storageServer(), &auth.server()}) {
      server->setKeepAliveTimeout(1s);
    }
    auth.setAccessTokenLifetime(2);
    TransferRoadTest::SetUp();
  }
};

// However many times it happened before, a transfer, a recent-list load and a token renewal that
// come after such a pause go out again on new connections and go through.
TEST_F(IdleConnectionsRoadTest, ConnectionsClosedWhileIdleNeverFailALaterTransferLoadOrRenewal) {
  constexpr int kTransfers = 30;
  const auto refreshesBefore = refreshes();
  const auto loadsBefore = service.requestCount(Endpoint::recentTransfers);

  for (int i = 0; i < kTransfers; ++i) {
    std::this_thread::sleep_for(1100ms);  // just past the servers' idle limit
    drop(makeFolder("Batch " + std::to_string(i), {{"notes.txt", 1'000 + static_cast<std::size_t>(i)}}));
    ASSERT_TRUE(queue->runUntil(
        [&] { return notifier->notifications.size() > static_cast<std::size_t>(i) || !store->state().failures.empty(); },
        120s));
    ASSERT_TRUE(store->state().failures.empty()) << "transfer " << i << ": " << failureText();
    ASSERT_NE(completed(), nullptr);
    EXPECT_TRUE(storageHoldsEveryFile(*completed()));

    recent.refresh(true);
    ASSERT_TRUE(queue->runUntil([&] { return !recent.isLoading().value(); }, 60s));
    ASSERT_EQ(recent.errorMessage().value(), std::nullopt) << "load after transfer " << i;
  }
  EXPECT_EQ(service.requestCount(Endpoint::completeTransfer), static_cast<std::size_t>(kTransfers));
  EXPECT_EQ(service.requestCount(Endpoint::recentTransfers), loadsBefore + kTransfers);
  EXPECT_GE(refreshes() - refreshesBefore, static_cast<std::size_t>(kTransfers));
}

}  // namespace
}  // namespace tavrel
