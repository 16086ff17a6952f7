#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "account/authentication_store.h"
#include "platform/manual_main_queue.h"
#include "sharehandoff/share_handoff_coordinator.h"
#include "sharehandoff/share_handoff_test_support.h"
#include "support/fake_transfer_services.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/temporary_directory.h"
#include "transfer/transfer_store.h"

namespace tavrel {
namespace {

using namespace testing;
using Outcome = ShareHandoffAcknowledgementOutcome;
namespace fs = std::filesystem;

const std::string unavailable = "One or more shared items are no longer available.";

// The coordinator on the real transfer and authentication stores, the engine and preparer faked,
// the container in a temporary folder and the signal in process.
class ShareHandoffCoordinatorTest : public ::testing::Test {
 protected:
  ShareHandoffCoordinatorTest() {
    const OAuthConfiguration configuration{*platform::Url::parse("https://app.example.com")};
    authentication = AuthenticationStore::make(configuration, api, keychain, std::make_shared<NoBrowser>(), queue,
                                               [] { return std::chrono::system_clock::now(); });
    registry = std::make_shared<ShareSourceAccessRegistry>([this](const fs::path& url) { stopped.push_back(url); });
    TransferStore::Services services{preparer, engine, std::make_shared<FakeTransferFilePicker>(*queue),
                                     std::make_shared<RecordingLinkOpener>(), std::make_shared<RecordingClipboard>(),
                                     std::make_shared<RecordingTransferNotifier>(),
                                     ApplicationLinks{*platform::Url::parse("https://app.example.com")},
                                     std::make_shared<ImmediateTransferClock>()};
    TransferStore::Closures closures;
    closures.transferDefaults = [] { return TransferDefaults{7, TransferRegion::na, false, false, std::nullopt, true}; };
    closures.canInitiateTransfer = [this] { return authentication->canInitiateTransfer(); };
    closures.onCompletedTransfer = [](const CompletedTransfer&) {};
    closures.onSourceAccessReleased = [registry = registry](const TransferSourceAccessID& id) { registry->release(id); };
    transferStore = std::make_unique<TransferStore>(*queue, std::move(services), std::move(closures));
  }
  ~ShareHandoffCoordinatorTest() override {
    coordinator.reset();
    queue->runUntilIdle();
  }

  void start(bool withStorage = true) {
    coordinator = std::make_unique<ShareHandoffCoordinator>(ShareHandoffCoordinator::Dependencies{
        *queue, withStorage ? std::optional(storage) : std::nullopt, *transferStore, authentication, registry,
        [this] { ++accepted; }, &signal});
  }
  void signIn(bool canSend = true) {
    api->canInitiateTransfer = canSend;
    (void)keychain->save("refresh");
    authentication->restore();
    ASSERT_TRUE(queue->runUntil(
        [&] { return std::holds_alternative<authentication_state::Authenticated>(authentication->state()); }));
    queue->runUntilIdle();
  }
  void restoreSignedOut() {
    authentication->restore();
    ASSERT_TRUE(queue->runUntil(
        [&] { return std::holds_alternative<authentication_state::SignedOut>(authentication->state()); }));
    queue->runUntilIdle();
  }
  ShareHandoffRequest share(std::vector<ShareHandoffItem> items) {
    ShareHandoffRequest request{1, platform::Uuid::generate(), handoffDate, std::move(items)};
    EXPECT_TRUE(storage.write(request));
    return request;
  }
  std::optional<ShareHandoffAcknowledgement> answer(const platform::Uuid& id) {
    return storage.readAcknowledgement(id).value();
  }
  std::vector<TransferSubmission> submissions() const {
    std::vector<TransferSubmission> found;
    for (const auto& request : preparer->requests()) {
      TransferSubmission submission;
      for (const auto& item : request.selection.items) submission.urls.push_back(item.url);
      found.push_back(submission);
    }
    return found;
  }

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  TemporaryDirectory directory;
  ShareHandoffStorage storage{directory.path() / "container"};
  std::shared_ptr<FakeAuthenticationAPI> api = std::make_shared<FakeAuthenticationAPI>();
  std::shared_ptr<InMemoryRefreshTokenStore> keychain = std::make_shared<InMemoryRefreshTokenStore>();
  std::shared_ptr<AuthenticationStore> authentication;
  std::shared_ptr<FakeTransferFilePreparer> preparer = std::make_shared<FakeTransferFilePreparer>(*queue);
  std::shared_ptr<FakeUploadEngine> engine = std::make_shared<FakeUploadEngine>(*queue);
  std::unique_ptr<TransferStore> transferStore;
  std::shared_ptr<ShareSourceAccessRegistry> registry;
  std::vector<fs::path> stopped;
  InProcessShareHandoffSignal signal;
  std::unique_ptr<ShareHandoffCoordinator> coordinator;
  int accepted = 0;
};

TEST_F(ShareHandoffCoordinatorTest, ClaimsAtStartUpSubmitsAnAutomaticTransferAndReleasesAccessWhenItEnds) {
  signIn();
  const auto folder = directory.makeDirectory("Holiday");
  const auto file = directory.writeFile("notes.txt", "hi");
  const auto request = share({bookmarkedItem(folder, ShareHandoffItemKind::folder), bookmarkedItem(file)});

  start();
  EXPECT_EQ(answer(request.id)->outcome, Outcome::accepted);
  EXPECT_FALSE(fs::exists(storage.requestFile(request.id)));
  // Once on acceptance, once after the flush sent it.
  EXPECT_EQ(accepted, 2);
  ASSERT_EQ(transferStore->state().currentTransferID.has_value(), true);
  ASSERT_EQ(preparer->requests().size(), 1u);
  EXPECT_EQ(submissions().at(0).urls, (std::vector<fs::path>{folder, file}));
  ASSERT_EQ(registry->leases().size(), 1u);
  EXPECT_EQ(registry->leases().begin()->second.urls, (std::vector<fs::path>{folder, file}));

  queue->runUntilIdle();  // the sign-in wait's first flush finds nothing
  EXPECT_EQ(accepted, 2);

  // Automatic: prepared, then uploaded without review; once done the store lets go of the access.
  preparer->succeed();
  queue->runUntilIdle();
  ASSERT_EQ(engine->runs().size(), 1u);
  engine->complete(engine->completedTransferOf(0));
  queue->runUntilIdle();
  EXPECT_TRUE(registry->leases().empty());
  EXPECT_EQ(stopped, (std::vector<fs::path>{folder, file}));
}

TEST_F(ShareHandoffCoordinatorTest, WaitsForSignInClaimsOnTheSignalOnceAndAnswersAReturningFileAgain) {
  restoreSignedOut();
  start();
  queue->runUntilIdle();
  EXPECT_EQ(accepted, 0);  // an empty scan and flush announce nothing
  EXPECT_EQ(signal.observers(), 1u);

  const auto file = directory.writeFile("a.txt", "a");
  const auto request = share({bookmarkedItem(file)});
  signal.post();
  signal.post();
  queue->runUntilIdle();
  EXPECT_EQ(answer(request.id)->outcome, Outcome::accepted);
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(coordinator->pendingSubmissions().size(), 1u);
  EXPECT_TRUE(preparer->requests().empty());

  // The same request again (its answer went missing): answered, never submitted twice.
  ASSERT_TRUE(storage.write(request));
  coordinator->scanPendingRequests();
  EXPECT_EQ(answer(request.id)->outcome, Outcome::accepted);
  EXPECT_EQ(coordinator->pendingSubmissions().size(), 1u);
  EXPECT_EQ(registry->leases().size(), 1u);

  signIn();
  EXPECT_TRUE(coordinator->pendingSubmissions().empty());
  ASSERT_EQ(preparer->requests().size(), 1u);
  EXPECT_EQ(submissions().at(0).urls, std::vector<fs::path>{file});
  EXPECT_EQ(accepted, 2);
}

TEST_F(ShareHandoffCoordinatorTest, AccountsThatMayNotSendKeepHandoffsUntilSignOutDiscardsThem) {
  signIn(/*canSend=*/false);
  start();
  const auto file = directory.writeFile("a.txt", "a");
  const auto request = share({bookmarkedItem(file)});
  coordinator->scanPendingRequests();
  queue->runUntilIdle();
  EXPECT_EQ(coordinator->pendingSubmissions().size(), 1u);
  EXPECT_TRUE(preparer->requests().empty());

  authentication->signOut();
  queue->runUntilIdle();
  EXPECT_TRUE(coordinator->pendingSubmissions().empty());
  EXPECT_TRUE(registry->leases().empty());
  EXPECT_EQ(stopped, std::vector<fs::path>{file});
  EXPECT_TRUE(preparer->requests().empty());
}

TEST_F(ShareHandoffCoordinatorTest, RejectsItemsThatChangedAndRequestsThatCannotBeRead) {
  signIn();
  const auto becameFile = directory.makeDirectory("was-folder");
  const auto folderItem = bookmarkedItem(becameFile, ShareHandoffItemKind::folder);
  fs::remove(becameFile);
  directory.writeFile("was-folder", "now a file");
  const auto asFolder = share({folderItem});

  const auto folder = directory.makeDirectory("real-folder");
  const auto claimsFile = share({bookmarkedItem(folder, ShareHandoffItemKind::file)});

  const auto first = directory.writeFile("1.txt", "1");
  const auto second = directory.writeFile("2.txt", "2");
  const auto third = directory.writeFile("3.txt", "3");
  const auto missingThird = share({bookmarkedItem(first), bookmarkedItem(second), bookmarkedItem(third)});
  fs::remove(third);

  const auto damaged = share({{{1, 2, 3}, "junk", ShareHandoffItemKind::file, std::nullopt}});
  const auto unreadable = platform::Uuid::generate();
  directory.writeFile(storage.pendingDirectory().lexically_relative(directory.path()) / (unreadable.toString() + ".json"),
                      "{");

  start();
  EXPECT_EQ(answer(asFolder.id)->message, unavailable);
  EXPECT_EQ(answer(claimsFile.id)->message, unavailable);
  EXPECT_EQ(answer(missingThird.id)->message, unavailable);
  EXPECT_EQ(answer(damaged.id)->message, "The shared item’s bookmark could not be read.");
  EXPECT_EQ(answer(unreadable)->message, "The handoff file isn’t in the expected format.");
  EXPECT_TRUE(fs::is_empty(storage.pendingDirectory()));
  // Rejected items end the access of what was resolved before them; the order is the requests' order.
  std::erase(stopped, becameFile);  // resolved or not, depending on whether the file system keeps birth times
  std::sort(stopped.begin(), stopped.end());
  EXPECT_EQ(stopped, (std::vector<fs::path>{first, second, folder}));
  EXPECT_TRUE(registry->leases().empty());
  EXPECT_EQ(accepted, 0);

  // A rejected id is not claimed: the same request, now sound, is checked again from the start.
  directory.writeFile("3.txt", "3 again");
  ShareHandoffRequest again = missingThird;
  again.items[2] = bookmarkedItem(third);
  ASSERT_TRUE(storage.write(again));
  coordinator->scanPendingRequests();
  EXPECT_EQ(answer(again.id)->outcome, Outcome::accepted);
}

TEST_F(ShareHandoffCoordinatorTest, AnAcceptanceThatCannotBeAnsweredBecomesNothing) {
  signIn();
  const auto file = directory.writeFile("a.txt", "a");
  const auto request = share({bookmarkedItem(file)});
  fs::create_directory(storage.acknowledgementFile(request.id));  // no answer can be written

  start();
  EXPECT_TRUE(registry->leases().empty());
  EXPECT_TRUE(preparer->requests().empty());
  EXPECT_EQ(accepted, 0);
  EXPECT_EQ(stopped, std::vector<fs::path>{file});  // once, by the released lease
  EXPECT_TRUE(fs::exists(storage.requestFile(request.id)));
  EXPECT_EQ(coordinator->pendingSubmissions().size(), 0u);
}

TEST_F(ShareHandoffCoordinatorTest, WithoutAContainerNothingIsScannedAndQuittingReleasesEveryLease) {
  restoreSignedOut();
  const auto file = directory.writeFile("a.txt", "a");
  const auto request = share({bookmarkedItem(file)});
  start(/*withStorage=*/false);
  signal.post();
  queue->runUntilIdle();
  EXPECT_TRUE(fs::exists(storage.requestFile(request.id)));
  EXPECT_EQ(signal.observers(), 1u);

  // Accepted but never submitted, then the program quits: the lease goes with it.
  start();
  EXPECT_EQ(coordinator->pendingSubmissions().size(), 1u);
  coordinator.reset();
  EXPECT_TRUE(registry->leases().empty());
  EXPECT_EQ(stopped, std::vector<fs::path>{file});
  EXPECT_EQ(signal.observers(), 0u);
  signal.post();
  queue->runUntilIdle();  // nothing is left to hear it
}

}  // namespace
}  // namespace tavrel
