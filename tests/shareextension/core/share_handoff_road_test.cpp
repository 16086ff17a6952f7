// The share program and the program as two processes: tavrel-share (the real binary) hands a folder
// over through the real container, and the coordinator in this process (standing in for the running
// program, on the real transfer and authentication stores) receives it as an automatic transfer:
// once through the session-bus signal, once with no session bus, through the program's second start.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "account/authentication_store.h"
#include "platform/manual_main_queue.h"
#include "platform/session_bus_signal.h"
#include "sharehandoff/session_bus_share_handoff_signal.h"
#include "sharehandoff/share_handoff_coordinator.h"
#include "sharehandoff/share_handoff_test_support.h"
#include "support/child_process.h"
#include "support/fake_transfer_services.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/temporary_directory.h"

extern char** environ;

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using namespace testing;
namespace fs = std::filesystem;

bool sessionBusReachable() {
  return std::getenv("DBUS_SESSION_BUS_ADDRESS") && platform::SessionBusSignal::post("com.tavrel.test.ping").hasValue();
}

class ShareHandoffRoadTest : public ::testing::Test {
 protected:
  ShareHandoffRoadTest() {
    const OAuthConfiguration configuration{*platform::Url::parse("https://app.example.com")};
    authentication = AuthenticationStore::make(configuration, std::make_shared<FakeAuthenticationAPI>(), keychain,
                                               std::make_shared<NoBrowser>(), queue,
                                               [] { return std::chrono::system_clock::now(); });
    transferStore = handoffTransferStore(*queue, preparer, std::make_shared<FakeUploadEngine>(*queue), notifier,
                                         [this] { return authentication->canInitiateTransfer(); }, registry);

    (void)keychain->save("refresh");
    authentication->restore();
    EXPECT_TRUE(queue->runUntil(
        [&] { return std::holds_alternative<authentication_state::Authenticated>(authentication->state()); }));

    // The program's desktop entry: its "second start" leaves a mark for this test to act on.
    directory.writeFile("data/applications/com.tavrel.macos.desktop",
                        "[Desktop Entry]\nType=Application\nName=Tavrel\nExec=touch " + activated.string() + "\n");
  }
  ~ShareHandoffRoadTest() override {
    coordinator.reset();
    queue->runUntilIdle();
  }

  void startProgram(ShareHandoffSignalling* signalling) {
    ShareHandoffCoordinator::Dependencies dependencies{*queue, storage, *transferStore, authentication, registry, [] {},
                                                       signalling};
    if (checkItems) dependencies.checkItems = checkItems;
    coordinator = std::make_unique<ShareHandoffCoordinator>(std::move(dependencies));
  }
  // What the program does when it is started again; the items are checked on a worker.
  void scanAsOnASecondStart() {
    coordinator->scanPendingRequests();
    settle();
  }
  void settle() {
    queue->runUntilIdle();
    ASSERT_TRUE(queue->runUntil([&] { return !coordinator->isScanning(); }));
    queue->runUntilIdle();
  }
  void setAuthenticated(bool authenticated) {
    if (authenticated) {
      (void)keychain->save("refresh");
      authentication->restore();
    } else {
      authentication->signOut();
    }
    ASSERT_TRUE(queue->runUntil([&] {
      return std::holds_alternative<authentication_state::Authenticated>(authentication->state()) == authenticated &&
             !std::holds_alternative<authentication_state::Restoring>(authentication->state());
    }));
    queue->runUntilIdle();
  }

  // Starts tavrel-share on `items` with the test's data folder and the given bus address. Its sheet
  // shows offscreen and presses Create Link by itself once the items are loaded.
  pid_t share(const std::vector<std::string>& items, const std::string& busAddress) {
    std::vector<std::string> arguments{TAVREL_SHARE_PROGRAM, "--create-link"};
    arguments.insert(arguments.end(), items.begin(), items.end());
    std::vector<std::string> environment{"XDG_DATA_HOME=" + (directory.path() / "data").string(),
                                         "XDG_DATA_DIRS=" + (directory.path() / "none").string(),
                                         "DBUS_SESSION_BUS_ADDRESS=" + busAddress, "PATH=/usr/bin:/bin",
                                         "QT_QPA_PLATFORM=offscreen", "QT_QUICK_BACKEND=software",
                                         "QML_DISABLE_DISK_CACHE=1",
                                         "XDG_CACHE_HOME=" + (directory.path() / "cache").string()};
    for (char** variable = environ; *variable; ++variable) {
      if (std::string_view(*variable).starts_with("ASAN_OPTIONS=")) {
        // Qt Quick's image loading leaves allocations behind at exit; the sheet's own tests watch
        // for leaks, this one for the hand-off.
        environment.emplace_back(std::string(*variable) + ":detect_leaks=0");
      } else if (std::string_view(*variable).starts_with("ASAN_") ||
                 std::string_view(*variable).starts_with("UBSAN_") ||
                 std::string_view(*variable).starts_with("LSAN_") ||
                 std::string_view(*variable).starts_with("TSAN_")) {
        environment.emplace_back(*variable);
      }
    }
    const pid_t pid = testing::spawnProcess(std::move(arguments), std::move(environment));
    EXPECT_GT(pid, 0);
    return pid;
  }
  static int exitStatus(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }
  void expectAutomaticTransferOf(const fs::path& folder) {
    ASSERT_EQ(preparer->requests().size(), 1u);
    const auto& items = preparer->requests()[0].selection.items;
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].url, folder);
    EXPECT_EQ(items[0].kind, TransferItemKind::folder);
    const auto* review = reviewState(transferStore->state().phase);
    ASSERT_TRUE(review);
    EXPECT_EQ(review->startPolicy, TransferStartPolicy::automatic);
    EXPECT_EQ(registry->leases().size(), 1u);
  }

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  TemporaryDirectory directory;
  fs::path activated = directory.path() / "activated";
  std::shared_ptr<InMemoryRefreshTokenStore> keychain = std::make_shared<InMemoryRefreshTokenStore>();
  std::shared_ptr<AuthenticationStore> authentication;
  std::shared_ptr<FakeTransferFilePreparer> preparer = std::make_shared<FakeTransferFilePreparer>(*queue);
  std::shared_ptr<RecordingTransferNotifier> notifier = std::make_shared<RecordingTransferNotifier>();
  ShareHandoffStorage storage{directory.path() / "data" / "tavrel" / "group.com.tavrel.macos"};
  std::function<ShareHandoffItemCheck(const std::vector<ShareHandoffItem>&, std::stop_token)> checkItems;
  std::shared_ptr<ShareSourceAccessRegistry> registry = std::make_shared<ShareSourceAccessRegistry>();
  std::unique_ptr<TransferStore> transferStore;
  std::unique_ptr<ShareHandoffCoordinator> coordinator;
};

TEST_F(ShareHandoffRoadTest, AFolderArrivesThroughTheSessionBusSignal) {
  if (!sessionBusReachable()) GTEST_SKIP() << "no session bus (the dbus-run-session variant of this test runs it)";
  SessionBusShareHandoffSignal signal;
  startProgram(&signal);
  ASSERT_TRUE(coordinator->isObservingSignal());
  const auto folder = directory.makeDirectory("Holiday Photos");
  directory.writeFile("Holiday Photos/beach.jpg", "jpeg");

  const pid_t pid = share({"file://" + (directory.path() / "Holiday%20Photos").string()},
                          std::getenv("DBUS_SESSION_BUS_ADDRESS"));
  // Only the signal makes this scan: nothing here reacts to the second start.
  ASSERT_TRUE(queue->runUntil([&] { return !preparer->requests().empty(); }, 30s));
  EXPECT_EQ(exitStatus(pid), 0);
  expectAutomaticTransferOf(folder);
  EXPECT_TRUE(fs::is_empty(directory.path() / "data" / "tavrel" / "group.com.tavrel.macos" / "Pending"));
}

TEST_F(ShareHandoffRoadTest, WithoutASessionBusTheSecondStartBringsTheFolderIn) {
  startProgram(nullptr);
  const auto folder = directory.makeDirectory("Reports");
  const pid_t pid = share({folder.string()}, "unix:path=" + (directory.path() / "no-bus").string());
  ASSERT_TRUE(queue->runUntil([&] { return fs::exists(activated); }, 30s));
  scanAsOnASecondStart();
  EXPECT_EQ(exitStatus(pid), 0);
  expectAutomaticTransferOf(folder);
}

TEST_F(ShareHandoffRoadTest, ALinkIsRefusedInTheSheetAndNothingReachesTheProgram) {
  startProgram(nullptr);
  const auto link = directory.path() / "Reports link";
  fs::create_directory_symlink(directory.makeDirectory("Reports"), link);
  const pid_t pid = share({link.string()}, "unix:path=" + (directory.path() / "no-bus").string());
  EXPECT_EQ(exitStatus(pid), 1);  // the sheet showed why; Create Link was never possible
  EXPECT_FALSE(fs::exists(activated));
  scanAsOnASecondStart();
  EXPECT_TRUE(preparer->requests().empty());
  EXPECT_TRUE(!fs::exists(storage.pendingDirectory()) || fs::is_empty(storage.pendingDirectory()));
}

TEST_F(ShareHandoffRoadTest, AFileGoneBeforeSignInIsAFailureTheUserSeesAndTheOtherIsSent) {
  setAuthenticated(false);
  startProgram(nullptr);
  const auto kept = directory.writeFile("kept.txt", "k");
  const auto gone = directory.writeFile("gone.txt", "g");
  const pid_t pid = share({kept.string(), gone.string()}, "unix:path=" + (directory.path() / "no-bus").string());
  ASSERT_TRUE(queue->runUntil([&] { return fs::exists(activated); }, 30s));
  scanAsOnASecondStart();
  EXPECT_EQ(exitStatus(pid), 0);  // accepted
  EXPECT_EQ(coordinator->pendingSubmissions().size(), 1u);

  fs::remove(gone);
  setAuthenticated(true);
  ASSERT_EQ(preparer->requests().size(), 1u);
  ASSERT_EQ(preparer->requests()[0].selection.items.size(), 1u);
  EXPECT_EQ(preparer->requests()[0].selection.items[0].url, kept);
  ASSERT_EQ(transferStore->state().failures.size(), 1u);
  EXPECT_EQ(transferStore->state().failures[0].message, "“gone.txt” was moved or deleted after it was shared.");
  ASSERT_EQ(notifier->notifications.size(), 1u);
  EXPECT_EQ(notifier->notifications[0].outcome, TransferNotification::Outcome::failed);
  EXPECT_EQ(notifier->notifications[0].title, "gone.txt");
}

TEST_F(ShareHandoffRoadTest, SignalsFromAnotherProgramWhileACheckHangsMakeOneMoreScan) {
  if (!sessionBusReachable()) GTEST_SKIP() << "no session bus (the dbus-run-session variant of this test runs it)";
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> checks{0};
  // The first request's items lie on a mount that hangs until the test lets go.
  checkItems = [&checks, released](const std::vector<ShareHandoffItem>& items, std::stop_token stop) {
    if (++checks == 1) released.wait();
    return checkShareHandoffItems(items, stop);
  };
  ShareHandoffRequest hung{1, platform::Uuid::generate(), std::chrono::system_clock::now(),
                           {testing::bookmarkedItem(directory.writeFile("hung.txt", "h"))}};
  ASSERT_TRUE(storage.write(hung));
  SessionBusShareHandoffSignal signal;
  startProgram(&signal);
  ASSERT_TRUE(queue->runUntil([&] { return checks.load() == 1; }));

  const auto file = directory.writeFile("a.txt", "a");
  ShareHandoffRequest next{1, platform::Uuid::generate(), std::chrono::system_clock::now(),
                           {testing::bookmarkedItem(file)}};
  ASSERT_TRUE(storage.write(next));
  const pid_t flood = testing::spawnProcess(
      {"/bin/sh", "-c",
       "for i in $(seq 30); do dbus-send --session --type=signal /com/tavrel/Signal com.tavrel.Signal.Posted "
       "string:group.com.tavrel.macos.share-handoff.changed || exit 1; done"},
      {"DBUS_SESSION_BUS_ADDRESS=" + std::string(std::getenv("DBUS_SESSION_BUS_ADDRESS")), "PATH=/usr/bin:/bin"});
  EXPECT_EQ(exitStatus(flood), 0);
  // The program is not frozen: it hears the signals while the check hangs.
  ASSERT_TRUE(queue->runUntil([&] { return coordinator->isRescanRequested(); }, 30s));

  queue->advance(std::chrono::seconds(10));
  settle();
  EXPECT_EQ(storage.readAcknowledgement(hung.id).value()->message,
            "Tavrel couldn’t reach the shared items in time. Try sharing them again.");
  EXPECT_EQ(storage.readAcknowledgement(next.id).value()->outcome, ShareHandoffAcknowledgementOutcome::accepted);
  EXPECT_EQ(checks.load(), 2);  // thirty signals, one more scan
  release.set_value();
}

}  // namespace
}  // namespace tavrel
