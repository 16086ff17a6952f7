#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "platform/manual_main_queue.h"
#include "service/mock_upload_engine.h"
#include "support/fake_transfer_services.h"
#include "support/temporary_directory.h"
#include "transfer/local_transfer_file_preparer.h"
#include "transfer/recent_transfers_store.h"
#include "transfer/transfer_store.h"

using namespace tavrel;
using namespace tavrel::testing;
using namespace std::chrono_literals;
using ::testing::ElementsAre;

namespace {

RecentTransfer recentEntry(const std::string& id, int minutes) {
  return RecentTransfer{id, "Transfer " + id, 1, 10,
                        std::chrono::system_clock::time_point(std::chrono::minutes(minutes)), "slug-" + id,
                        std::nullopt, {}};
}

}  // namespace

// A folder chosen in the panel is walked for real, played through the simulated engine on virtual
// time, completed, and the recent list picks the new transfer up from the service.
TEST(TransferCycleTest, ChooseAFolderPrepareUploadCompleteAndRefreshTheRecentList) {
  platform::ManualMainQueue queue;
  TemporaryDirectory directory;
  const auto holiday = directory.makeDirectory("Holiday");
  directory.writeFile("Holiday/beach.jpg", std::string(300, 'j'));
  directory.writeFile("Holiday/notes/day1.txt", std::string(100, 't'));
  directory.writeFile("Holiday/notes/empty.txt", "");

  auto picker = std::make_shared<FakeTransferFilePicker>(queue);
  auto notifier = std::make_shared<RecordingTransferNotifier>();
  auto recentAPI = std::make_shared<FakeRecentTransfersAPI>(queue);
  auto now = std::chrono::system_clock::time_point(std::chrono::hours(1));
  RecentTransfersStore recent(recentAPI, 60s, [&] { return now; });

  TransferStore::Services services{std::make_shared<LocalTransferFilePreparer>(queue),
                                   std::make_shared<MockUploadEngine>(queue, 20.0, 0.1),
                                   picker,
                                   std::make_shared<RecordingLinkOpener>(),
                                   std::make_shared<RecordingClipboard>(),
                                   notifier,
                                   ApplicationLinks{*platform::Url::parse("https://app.example.com")},
                                   std::make_shared<ImmediateTransferClock>()};
  const TransferDefaults defaults{7, TransferRegion::eu, false, false, std::nullopt, true};
  TransferStore::Closures closures;
  closures.transferDefaults = [&] { return defaults; };
  closures.canInitiateTransfer = [] { return true; };
  closures.onCompletedTransfer = [&](const CompletedTransfer& completed) { recent.record(completed); };
  TransferStore store(queue, std::move(services), std::move(closures));

  // The popover opened once before: the list is complete and fresh.
  recent.refresh();
  recentAPI->answer(std::vector{recentEntry("old", 1)});
  queue.runUntilIdle();
  ASSERT_TRUE(recent.hasCompleteSnapshot().value());

  // Choose.
  store.send(transfer_action::OpenChooser{});
  store.send(transfer_action::ChooseFolder{});
  ASSERT_EQ(picker->requests().size(), 1u);
  EXPECT_EQ(picker->requests()[0].request, TransferFilePickerRequest::folder);
  picker->answer(std::vector{holiday});
  queue.runUntilIdle();

  // Prepare, on the preparer's worker thread.
  ASSERT_TRUE(queue.runUntil([&] {
    const auto* review = reviewState(store.state().phase);
    return review && !std::holds_alternative<review_preparation::Calculating>(review->preparation);
  }));
  const auto* review = reviewState(store.state().phase);
  ASSERT_TRUE(review && std::holds_alternative<review_preparation::Ready>(review->preparation));
  const auto prepared = std::get<review_preparation::Ready>(review->preparation).preparedTransfer;
  EXPECT_EQ(prepared.title, "Holiday");
  EXPECT_EQ(prepared.defaults, defaults);
  ASSERT_EQ(prepared.files.size(), 2u);
  EXPECT_EQ(prepared.files[0].relativePath, "Holiday/beach.jpg");
  EXPECT_EQ(prepared.files[0].mimeType, "image/jpeg");
  EXPECT_EQ(prepared.files[1].relativePath, "Holiday/notes/day1.txt");
  EXPECT_EQ(prepared.files[1].mimeType, "text/plain");

  // Upload on virtual time.
  store.send(transfer_action::StartTransfer{});
  queue.runUntilIdle();
  ASSERT_NE(activeUpload(store.state().phase), nullptr);
  EXPECT_EQ(activeUpload(store.state().phase)->progress.bytesUploaded, 0);

  queue.advance(10s);
  const auto* halfway = activeUpload(store.state().phase);
  ASSERT_NE(halfway, nullptr);
  EXPECT_EQ(halfway->progress.bytesUploaded, 200);
  EXPECT_EQ(halfway->progress.currentFileIndex, 0);
  EXPECT_EQ(halfway->progress.bytesPerSecond, 20);

  queue.advance(10s);
  const auto* completed = completedTransfer(store.state().phase);
  ASSERT_NE(completed, nullptr);
  EXPECT_EQ(completed->preparedTransfer, prepared);
  ASSERT_EQ(notifier->notifications.size(), 1u);
  EXPECT_EQ(notifier->notifications[0].outcome, TransferNotification::Outcome::completed);

  // The simulated engine brings no list entry, so the next refresh asks the service even though
  // the list is younger than a minute.
  now += 30s;
  recent.refresh();
  ASSERT_EQ(recentAPI->requests().size(), 2u);
  recentAPI->answer(std::vector{recentEntry("old", 1), recentEntry("holiday", 90)});
  queue.runUntilIdle();
  ASSERT_EQ(recent.transfers().value().size(), 2u);
  EXPECT_EQ(recent.transfers().value()[0].id, "holiday");
  EXPECT_EQ(recent.transfers().value()[1].id, "old");
}
