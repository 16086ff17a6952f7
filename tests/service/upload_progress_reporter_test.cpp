#include "service/upload_progress_reporter.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/manual_main_queue.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using platform::Uuid;

PreparedTransfer transferOf(std::vector<std::int64_t> sizes) {
  PreparedTransfer transfer;
  transfer.title = "Holiday";
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    TransferFile file;
    file.referenceID = Uuid::generate().toString();
    file.sourceURL = "/tmp/file" + std::to_string(i);
    file.relativePath = "file" + std::to_string(i);
    file.size = sizes[i];
    file.mimeType = "application/octet-stream";
    transfer.files.push_back(file);
  }
  return transfer;
}

class UploadProgressReporterTest : public ::testing::Test {
 protected:
  std::shared_ptr<UploadProgressReporter> makeReporter(std::vector<std::int64_t> sizes, std::int64_t initialBytes = 0) {
    return UploadProgressReporter::make(transferOf(std::move(sizes)), initialBytes, queue, queue.clock(),
                                        [this](const UploadProgressSnapshot& snapshot) { delivered.push_back(snapshot); });
  }
  // What has reached the main thread once the next report was due.
  UploadProgressSnapshot deliveredNow() {
    const auto before = delivered.size();
    queue.runUntilIdle();
    if (delivered.size() == before) queue.advance(UploadProgressReporter::reportInterval);
    EXPECT_FALSE(delivered.empty());
    return delivered.empty() ? UploadProgressSnapshot{} : delivered.back();
  }

  platform::ManualMainQueue queue;
  std::vector<UploadProgressSnapshot> delivered;
};

TEST_F(UploadProgressReporterTest, FreshUploadReportsInFlightThenCommittedBytes) {
  auto reporter = makeReporter({1'000});
  const auto attempt = Uuid::generate();

  reporter->emit();
  auto first = deliveredNow();
  EXPECT_EQ(first.bytesUploaded, 0);
  EXPECT_EQ(first.progress, 0.0);
  EXPECT_EQ(first.currentFileIndex, std::nullopt);
  EXPECT_EQ(first.preparedTransfer->title, "Holiday");

  reporter->setCurrentFileIndex(0);
  reporter->recordProgress(attempt, 400);
  auto during = deliveredNow();
  EXPECT_EQ(during.bytesUploaded, 400);
  EXPECT_DOUBLE_EQ(during.progress, 0.4);
  EXPECT_EQ(during.currentFileIndex, 0);

  reporter->commit(attempt, 1'000);
  auto done = deliveredNow();
  EXPECT_EQ(done.bytesUploaded, 1'000);
  EXPECT_DOUBLE_EQ(done.progress, 1.0);
}

TEST_F(UploadProgressReporterTest, ResumedRunStartsFromTheServiceBytesWithoutCountingThemInTheRate) {
  auto reporter = makeReporter({1'000}, 600);
  reporter->emit();
  auto first = deliveredNow();
  EXPECT_EQ(first.bytesUploaded, 600);
  EXPECT_DOUBLE_EQ(first.progress, 0.6);
  EXPECT_EQ(first.bytesPerSecond, 0);

  queue.advance(2s);
  reporter->recordProgress(Uuid::generate(), 200);
  auto later = deliveredNow();
  EXPECT_EQ(later.bytesUploaded, 800);
  EXPECT_EQ(later.bytesPerSecond, 100);
}

TEST_F(UploadProgressReporterTest, ConcurrentAttemptsAddUpAndNegativeFiguresCountAsZero) {
  auto reporter = makeReporter({2'000, 2'000});
  const auto first = Uuid::generate();
  const auto second = Uuid::generate();
  reporter->commit(Uuid::generate(), 1'000);
  reporter->recordProgress(first, 300);
  reporter->recordProgress(second, 200);
  EXPECT_EQ(deliveredNow().bytesUploaded, 1'500);

  reporter->recordProgress(second, -50);
  EXPECT_EQ(deliveredNow().bytesUploaded, 1'300);

  // The later figure of one attempt replaces the earlier, even when it is smaller.
  reporter->recordProgress(first, 100);
  EXPECT_EQ(deliveredNow().bytesUploaded, 1'100);
}

TEST_F(UploadProgressReporterTest, DroppedAttemptLeavesNoBytesBehind) {
  auto reporter = makeReporter({1'000});
  const auto attempt = Uuid::generate();
  reporter->recordProgress(attempt, 700);
  reporter->dropAttempt(attempt);
  EXPECT_EQ(deliveredNow().bytesUploaded, 0);
}

// A progress update that arrives after its attempt was committed or dropped must not bring the
// attempt back: its bytes would count twice, or count although storage refused them.
TEST_F(UploadProgressReporterTest, LateUpdatesOfEndedAttemptsAreIgnored) {
  auto reporter = makeReporter({1'000, 1'000});
  const auto committed = Uuid::generate();
  const auto dropped = Uuid::generate();
  reporter->recordProgress(committed, 1'000);
  reporter->commit(committed, 1'000);
  reporter->recordProgress(committed, 1'000);
  reporter->commit(committed, 1'000);
  EXPECT_EQ(deliveredNow().bytesUploaded, 1'000);

  reporter->recordProgress(dropped, 500);
  reporter->dropAttempt(dropped);
  reporter->recordProgress(dropped, 500);
  EXPECT_EQ(deliveredNow().bytesUploaded, 1'000);
  EXPECT_EQ(reporter->snapshot().bytesUploaded, 1'000);
}

TEST_F(UploadProgressReporterTest, FiguresNeverPassTheTotalAndEmptyTransfersStayAtZero) {
  auto reporter = makeReporter({100});
  reporter->recordProgress(Uuid::generate(), 5'000);
  auto capped = deliveredNow();
  EXPECT_EQ(capped.bytesUploaded, 100);
  EXPECT_DOUBLE_EQ(capped.progress, 1.0);

  auto empty = makeReporter({});
  empty->markAllFilesCommitted();
  auto finished = deliveredNow();
  EXPECT_EQ(finished.progress, 0.0);
  EXPECT_EQ(finished.currentFileIndex, std::nullopt);
}

TEST_F(UploadProgressReporterTest, RateInTheFirstMillisecondDividesByOneMillisecond) {
  auto reporter = makeReporter({1'000'000});
  reporter->recordProgress(Uuid::generate(), 10);
  EXPECT_EQ(deliveredNow().bytesPerSecond, 10'000);
}

TEST_F(UploadProgressReporterTest, MarkAllFilesCommittedReportsEveryByteOnTheLastFile) {
  auto reporter = makeReporter({10, 20, 30});
  const auto attempt = Uuid::generate();
  reporter->recordProgress(attempt, 5);
  reporter->markAllFilesCommitted();
  reporter->recordProgress(attempt, 5);
  auto done = deliveredNow();
  EXPECT_EQ(done.bytesUploaded, 60);
  EXPECT_EQ(done.currentFileIndex, 2);
}

// Updates from many sending threads reach the main thread in order and without flooding it: while
// one snapshot waits, newer ones replace it.
TEST_F(UploadProgressReporterTest, UpdatesFromWorkersCoalesceAndTheNewestArrivesLast) {
  auto reporter = makeReporter({4'000'000});
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([reporter] {
      const auto attempt = Uuid::generate();
      for (int sent = 1; sent <= 1'000; ++sent) reporter->recordProgress(attempt, sent * 1'000);
      reporter->commit(attempt, 1'000'000);
    });
  }
  for (auto& sender : senders) sender.join();
  queue.runUntilIdle();
  ASSERT_FALSE(delivered.empty());
  EXPECT_LT(delivered.size(), 4'000u);
  EXPECT_EQ(delivered.back().bytesUploaded, 4'000'000);
  for (std::size_t i = 1; i < delivered.size(); ++i) {
    EXPECT_GE(delivered[i].bytesUploaded, delivered[i - 1].bytesUploaded) << "snapshot " << i << " out of order";
  }
}

TEST_F(UploadProgressReporterTest, ClosedReporterStaysQuietButDeliversWhatWasAlreadyOnItsWay) {
  auto reporter = makeReporter({1'000});
  reporter->recordProgress(Uuid::generate(), 250);
  reporter->close();
  reporter->recordProgress(Uuid::generate(), 500);
  reporter->emit();
  queue.runUntilIdle();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered.back().bytesUploaded, 250);
}

// The interface shows ten reports a second: changes within an interval after a delivery wait for
// its end and arrive as one, with the newest figures.
TEST_F(UploadProgressReporterTest, ReportsAreCoalescedToOnePerInterval) {
  auto reporter = makeReporter({1'000});
  const auto attempt = Uuid::generate();
  reporter->recordProgress(attempt, 100);
  queue.runUntilIdle();
  ASSERT_EQ(delivered.size(), 1u);

  reporter->recordProgress(attempt, 200);
  reporter->recordProgress(attempt, 300);
  queue.runUntilIdle();
  queue.advance(UploadProgressReporter::reportInterval - 1ms);
  EXPECT_EQ(delivered.size(), 1u);
  queue.advance(1ms);
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered.back().bytesUploaded, 300);

  // Figures are those of the last change, not of the delivery.
  queue.advance(500ms);
  EXPECT_EQ(delivered.size(), 2u);
  reporter->commit(attempt, 1'000);
  reporter->close();
  queue.runUntilIdle();
  ASSERT_EQ(delivered.size(), 3u);
  EXPECT_EQ(delivered.back().bytesUploaded, 1'000);
}

// A stalled run (the service away, storage silent) used to show its last rate and a time left that
// never passed: every report followed a change of bytes. While nothing moves, the figures of each
// second are reported; while bytes move, no report is added to theirs.
TEST_F(UploadProgressReporterTest, WhileNothingMovesTheFiguresFollowTheClock) {
  auto reporter = makeReporter({1'000'000});
  const auto attempt = Uuid::generate();
  queue.advance(1s);
  reporter->recordProgress(attempt, 100'000);
  queue.runUntilIdle();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered.back().bytesPerSecond, 100'000);

  queue.advance(999ms);
  EXPECT_EQ(delivered.size(), 1u);
  queue.advance(1ms);
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered.back().bytesUploaded, 100'000);
  EXPECT_EQ(delivered.back().bytesPerSecond, 50'000);
  queue.advance(8s);
  ASSERT_EQ(delivered.size(), 10u);
  EXPECT_EQ(delivered.back().bytesPerSecond, 10'000);

  // Moving again: one report per change, none of the clock's between them.
  for (int step = 1; step <= 30; ++step) {
    reporter->recordProgress(attempt, 100'000 + step * 1'000);
    queue.advance(UploadProgressReporter::reportInterval);
  }
  EXPECT_EQ(delivered.size(), 40u);
  EXPECT_EQ(delivered.back().bytesUploaded, 130'000);

  // A closed run stays quiet.
  reporter->close();
  queue.advance(5s);
  EXPECT_EQ(delivered.size(), 40u);
}

// A run of many small files reports at the interface's pace, and every report shares the one list of
// files instead of copying it.
TEST_F(UploadProgressReporterTest, TenThousandFilesShareOneListAcrossAPacedSetOfReports) {
  const platform::SharedValue<PreparedTransfer> transfer =
      transferOf(std::vector<std::int64_t>(10'000, 4'096));
  auto reporter = UploadProgressReporter::make(
      transfer, 0, queue, queue.clock(),
      [this](const UploadProgressSnapshot& snapshot) { delivered.push_back(snapshot); });
  reporter->emit();
  for (int index = 0; index < 10'000; ++index) {
    const auto attempt = Uuid::generate();
    reporter->setCurrentFileIndex(index);
    reporter->recordProgress(attempt, 4'096);
    reporter->commit(attempt, 4'096);
    queue.advance(1ms);
  }
  reporter->markAllFilesCommitted();
  reporter->close();
  queue.runUntilIdle();

  // Ten seconds of virtual time at one report per 100 ms, the first and the last.
  EXPECT_LE(delivered.size(), 102u);
  EXPECT_GE(delivered.size(), 100u);
  EXPECT_EQ(delivered.back().bytesUploaded, 10'000 * 4'096);
  EXPECT_EQ(delivered.back().currentFileIndex, 9'999);
  for (const auto& snapshot : delivered) ASSERT_TRUE(snapshot.preparedTransfer.sharesWith(transfer));
}

}  // namespace
}  // namespace tavrel
