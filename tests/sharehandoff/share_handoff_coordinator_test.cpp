#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
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
    transferStore = handoffTransferStore(*queue, preparer, engine, std::make_shared<RecordingTransferNotifier>(),
                                         [this] { return authentication->canInitiateTransfer(); }, registry);
  }
  ~ShareHandoffCoordinatorTest() override {
    coordinator.reset();
    queue->runUntilIdle();
  }

  void start(bool withStorage = true) {
    ShareHandoffCoordinator::Dependencies dependencies{
        *queue, withStorage ? std::optional(storage) : std::nullopt, *transferStore, authentication, registry,
        [this] { ++accepted; }, &signal};
    if (checkItems) dependencies.checkItems = checkItems;
    coordinator = std::make_unique<ShareHandoffCoordinator>(std::move(dependencies));
    settle();
  }
  void scan() {
    coordinator->scanPendingRequests();
    settle();
  }
  // Items are checked on a worker: waits for the scan under way to end.
  void settle() {
    queue->runUntilIdle();
    ASSERT_TRUE(queue->runUntil([&] { return !coordinator->isScanning(); }));
    queue->runUntilIdle();
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
  std::function<ShareHandoffItemCheck(const std::vector<ShareHandoffItem>&, std::stop_token)> checkItems;
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
  settle();
  EXPECT_EQ(answer(request.id)->outcome, Outcome::accepted);
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(coordinator->pendingSubmissions().size(), 1u);
  EXPECT_TRUE(preparer->requests().empty());

  // The same request again (its answer went missing): answered, never submitted twice.
  ASSERT_TRUE(storage.write(request));
  scan();
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
  scan();
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

  // Links and what is neither a regular file nor a folder would be refused or lost later.
  const auto target = directory.writeFile("target.txt", "t");
  const auto fileLink = directory.path() / "file link";
  fs::create_symlink(target, fileLink);
  const auto folderLink = directory.path() / "folder link";
  fs::create_directory_symlink(folder, folderLink);
  const auto dangling = directory.path() / "dangling";
  fs::create_symlink(directory.path() / "nowhere", dangling);
  const auto fifo = directory.path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<ShareHandoffRequest> odd;
  for (const auto& [path, kind] : {std::pair{fileLink, ShareHandoffItemKind::file},
                                   std::pair{folderLink, ShareHandoffItemKind::folder},
                                   std::pair{dangling, ShareHandoffItemKind::file},
                                   std::pair{fifo, ShareHandoffItemKind::file}}) {
    odd.push_back(share({bookmarkedItem(path, kind)}));
  }

  const auto damaged = share({{{1, 2, 3}, "junk", ShareHandoffItemKind::file, std::nullopt}});
  const auto unreadable = platform::Uuid::generate();
  directory.writeFile(storage.pendingDirectory().lexically_relative(directory.path()) / (unreadable.toString() + ".json"),
                      "{");

  start();
  EXPECT_EQ(answer(asFolder.id)->message, unavailable);
  EXPECT_EQ(answer(claimsFile.id)->message, unavailable);
  EXPECT_EQ(answer(missingThird.id)->message, unavailable);
  for (const auto& request : odd) EXPECT_EQ(answer(request.id)->message, unavailable);
  EXPECT_EQ(answer(damaged.id)->message, "The shared item’s bookmark could not be read.");
  EXPECT_EQ(answer(unreadable)->message, "The handoff file isn’t in the expected format.");
  EXPECT_TRUE(fs::is_empty(storage.pendingDirectory()));
  // Rejected items end the access of what was resolved before them; the order is the requests' order.
  std::erase(stopped, becameFile);  // resolved or not, depending on whether the file system keeps birth times
  std::sort(stopped.begin(), stopped.end());
  std::vector<fs::path> expected{first, second, folder, fileLink, folderLink, dangling, fifo};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(stopped, expected);
  EXPECT_TRUE(registry->leases().empty());
  EXPECT_EQ(accepted, 0);

  // A rejected id is not claimed: the same request, now sound, is checked again from the start.
  directory.writeFile("3.txt", "3 again");
  ShareHandoffRequest again = missingThird;
  again.items[2] = bookmarkedItem(third);
  ASSERT_TRUE(storage.write(again));
  scan();
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

TEST_F(ShareHandoffCoordinatorTest, AHungCheckRunsOutOfTimeWhileTheProgramGoesOnAndSignalsMeanwhileMakeOneMoreScan) {
  signIn();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> checks{0};
  // The first request's items lie on a mount that hangs until the test lets go.
  checkItems = [&checks, released](const std::vector<ShareHandoffItem>& items, std::stop_token stop) {
    if (++checks == 1) released.wait();
    return checkShareHandoffItems(items, stop);
  };
  const auto hung = share({bookmarkedItem(directory.writeFile("hung.txt", "h"))});
  coordinator = std::make_unique<ShareHandoffCoordinator>(ShareHandoffCoordinator::Dependencies{
      *queue, storage, *transferStore, authentication, registry, [this] { ++accepted; }, &signal,
      [] { return std::chrono::system_clock::now(); }, checkItems, std::chrono::seconds(10)});
  ASSERT_TRUE(queue->runUntil([&] { return checks.load() == 1; }));

  // The main thread is free: a new request and a flood of signals are heard while the check hangs.
  const auto file = directory.writeFile("a.txt", "a");
  const auto next = share({bookmarkedItem(file)});
  for (int count = 0; count < 20; ++count) signal.post();
  queue->runUntilIdle();
  EXPECT_TRUE(coordinator->isScanning());
  EXPECT_TRUE(fs::exists(storage.requestFile(hung.id)));

  queue->advance(std::chrono::seconds(10));
  settle();
  EXPECT_EQ(answer(hung.id)->message, "Tavrel couldn’t reach the shared items in time. Try sharing them again.");
  EXPECT_EQ(answer(next.id)->outcome, Outcome::accepted);
  EXPECT_EQ(checks.load(), 2);  // the flood made one more scan, which checked only the new request
  ASSERT_EQ(preparer->requests().size(), 1u);
  EXPECT_EQ(submissions().at(0).urls, std::vector<fs::path>{file});
  release.set_value();  // the abandoned worker ends; its late answer changes nothing
  queue->runUntilIdle();
  EXPECT_EQ(registry->leases().size(), 1u);
}

TEST_F(ShareHandoffCoordinatorTest, AShareCancelledWhileItsItemsAreCheckedIsNeitherAnsweredNorSent) {
  signIn();
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> checking{false};
  checkItems = [&checking, released](const std::vector<ShareHandoffItem>& items, std::stop_token stop) {
    checking = true;
    released.wait();
    return checkShareHandoffItems(items, stop);
  };
  const auto file = directory.writeFile("a.txt", "a");
  const auto request = share({bookmarkedItem(file)});
  coordinator = std::make_unique<ShareHandoffCoordinator>(ShareHandoffCoordinator::Dependencies{
      *queue, storage, *transferStore, authentication, registry, [this] { ++accepted; }, &signal,
      [] { return std::chrono::system_clock::now(); }, checkItems});
  ASSERT_TRUE(queue->runUntil([&] { return checking.load(); }));

  storage.removeRequestFiles(request.id);  // what Cancel in the sheet does
  release.set_value();
  settle();
  EXPECT_FALSE(answer(request.id));
  EXPECT_TRUE(preparer->requests().empty());
  EXPECT_TRUE(registry->leases().empty());
  EXPECT_EQ(stopped, std::vector<fs::path>{file});
  EXPECT_EQ(accepted, 0);
}

TEST_F(ShareHandoffCoordinatorTest, RequestsAreReadOnTheWorkerOneAfterAnotherInTheirOrder) {
  signIn();
  std::vector<platform::Uuid> shared;
  for (int index = 0; index < 4; ++index) {
    shared.push_back(share({bookmarkedItem(directory.writeFile(std::to_string(index) + ".txt", "x"))}).id);
  }
  std::sort(shared.begin(), shared.end(), [](const auto& left, const auto& right) {
    return left.toString() < right.toString();
  });
  std::mutex mutex;
  std::vector<std::pair<std::thread::id, platform::Uuid>> reads;
  ShareHandoffCoordinator::Dependencies dependencies{*queue, storage, *transferStore, authentication, registry,
                                                     [this] { ++accepted; }, &signal};
  dependencies.readRequest = [&](const ShareHandoffStorage& folder, const ShareHandoffStorage::PendingRequestFile& listed) {
    {
      std::lock_guard lock(mutex);
      reads.emplace_back(std::this_thread::get_id(), listed.requestID);
    }
    return folder.readPendingRequest(listed);
  };
  coordinator = std::make_unique<ShareHandoffCoordinator>(std::move(dependencies));
  settle();

  std::lock_guard lock(mutex);
  std::vector<platform::Uuid> order;
  for (const auto& [thread, id] : reads) {
    EXPECT_NE(thread, std::this_thread::get_id()) << "read on the main thread";
    order.push_back(id);
  }
  EXPECT_EQ(order, shared);
  for (const auto& id : shared) EXPECT_EQ(answer(id)->outcome, Outcome::accepted);
  EXPECT_EQ(registry->leases().size(), shared.size());
}

}  // namespace
}  // namespace tavrel
