#include <gtest/gtest.h>

#include <chrono>

#include "platform/manual_main_queue.h"
#include "service/mock_upload_engine.h"

using namespace tavrel;
using namespace std::chrono_literals;

namespace {

TransferFile fileOfSize(std::int64_t size, const std::string& name) {
  return TransferFile{"ID-" + name, "/tmp/" + name, name, size, "application/octet-stream", {}};
}

PreparedTransfer transferOf(std::vector<std::int64_t> sizes) {
  PreparedTransfer transfer;
  transfer.title = "Holiday";
  for (std::size_t index = 0; index < sizes.size(); ++index) {
    transfer.files.push_back(fileOfSize(sizes[index], "f" + std::to_string(index)));
  }
  return transfer;
}

// What one run delivered, with the virtual time of each event.
struct Recorder {
  platform::ManualMainQueue& queue;
  std::vector<std::pair<platform::Duration, UploadEvent>> events;
  std::optional<UploadOutcome> outcome;

  UploadEngine::EventHandler onEvent() {
    return [this](const UploadEvent& event) {
      events.emplace_back(queue.clock().now().time_since_epoch(), event);
    };
  }
  UploadEngine::Completion onFinished() {
    return [this](UploadOutcome result) {
      EXPECT_FALSE(outcome.has_value()) << "completed twice";
      outcome = std::move(result);
    };
  }
  std::vector<UploadProgressSnapshot> snapshots() const {
    std::vector<UploadProgressSnapshot> result;
    for (const auto& [time, event] : events) {
      if (const auto* progress = std::get_if<upload_event::Progress>(&event)) result.push_back(progress->snapshot);
    }
    return result;
  }
  std::size_t completedCount() const {
    return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [](const auto& entry) {
      return std::holds_alternative<upload_event::Completed>(entry.second);
    }));
  }
};

class MockUploadEngineTest : public ::testing::Test {
 protected:
  platform::ManualMainQueue queue;
  Recorder recorder{queue, {}, std::nullopt};
};

}  // namespace

TEST_F(MockUploadEngineTest, PlaysTwoHundredStepsOverTwentySecondsThenCompletes) {
  MockUploadEngine engine(queue, 20.0, 0.1);
  const auto transfer = transferOf({100, 300});
  engine.upload(UploadEngineInput{transfer}, {}, recorder.onEvent(), recorder.onFinished());
  EXPECT_TRUE(recorder.events.empty());  // never inside the call

  queue.runUntilIdle();
  ASSERT_EQ(recorder.snapshots().size(), 1u);
  EXPECT_EQ(recorder.snapshots()[0].progress, 0.0);
  EXPECT_EQ(recorder.snapshots()[0].bytesUploaded, 0);

  queue.advance(19'900ms);
  EXPECT_EQ(recorder.snapshots().size(), 200u);
  EXPECT_FALSE(recorder.outcome.has_value());

  queue.advance(100ms);
  const auto snapshots = recorder.snapshots();
  ASSERT_EQ(snapshots.size(), 201u);
  EXPECT_EQ(snapshots.back().progress, 1.0);
  EXPECT_EQ(snapshots.back().bytesUploaded, 400);
  EXPECT_EQ(snapshots.back().currentFileIndex, 1);
  for (const auto& snapshot : snapshots) EXPECT_EQ(snapshot.bytesPerSecond, 20);
  for (std::size_t index = 1; index < snapshots.size(); ++index) {
    EXPECT_GE(snapshots[index].bytesUploaded, snapshots[index - 1].bytesUploaded);
  }

  ASSERT_EQ(recorder.events.size(), 202u);
  const auto& last = recorder.events.back();
  EXPECT_EQ(last.first, recorder.events[200].first);  // completed right after the last progress
  EXPECT_EQ(std::get<upload_event::Completed>(last.second).transfer,
            (CompletedTransfer{transfer, std::nullopt, std::nullopt, std::nullopt}));
  EXPECT_EQ(recorder.outcome, UploadOutcome(upload_outcome::Finished{}));
  EXPECT_FALSE(queue.hasPendingTasks());
}

TEST_F(MockUploadEngineTest, AShortUploadStillTakesOneStep) {
  MockUploadEngine engine(queue, 0.05, 0.1);
  EXPECT_EQ(engine.stepCount(), 1);
  EXPECT_EQ(MockUploadEngine(queue, 20.0, 0.1).stepCount(), 200);
  EXPECT_EQ(MockUploadEngine(queue, 0.01, 0.1).stepCount(), 1);

  engine.upload(UploadEngineInput{transferOf({10})}, {}, recorder.onEvent(), recorder.onFinished());
  queue.runUntilIdle();
  queue.advance(99ms);
  EXPECT_EQ(recorder.snapshots().size(), 1u);
  queue.advance(1ms);
  const auto snapshots = recorder.snapshots();
  ASSERT_EQ(snapshots.size(), 2u);
  EXPECT_EQ(snapshots[0].progress, 0.0);
  EXPECT_EQ(snapshots[1].progress, 1.0);
  EXPECT_EQ(recorder.completedCount(), 1u);
  EXPECT_EQ(recorder.events.back().first - recorder.events.front().first, platform::Duration(100ms));
}

TEST_F(MockUploadEngineTest, SnapshotsSpreadTheBytesOverTheFilesInOrder) {
  const MockUploadEngine engine(queue, 20.0, 0.1);
  const auto transfer = transferOf({100, 300});

  const auto half = engine.snapshot(transfer, 0.5);
  EXPECT_EQ(half.bytesUploaded, 200);
  EXPECT_EQ(half.currentFileIndex, 1);
  EXPECT_EQ(half.preparedTransfer, transfer);

  const auto fifth = engine.snapshot(transfer, 0.2);
  EXPECT_EQ(fifth.bytesUploaded, 80);
  EXPECT_EQ(fifth.currentFileIndex, 0);

  // A file is current until the bytes sent pass its end.
  EXPECT_EQ(engine.snapshot(transfer, 0.25).currentFileIndex, 1);
  EXPECT_EQ(engine.snapshot(transfer, 0.2499).currentFileIndex, 0);

  const auto beyond = engine.snapshot(transfer, 1.7);
  EXPECT_EQ(beyond.progress, 1.0);
  EXPECT_EQ(beyond.bytesUploaded, 400);
  const auto before = engine.snapshot(transfer, -0.3);
  EXPECT_EQ(before.progress, 0.0);
  EXPECT_EQ(before.bytesUploaded, 0);
  EXPECT_EQ(before.currentFileIndex, 0);

  EXPECT_EQ(engine.snapshot(PreparedTransfer{}, 0.5).currentFileIndex, std::nullopt);
  EXPECT_EQ(MockUploadEngine(queue, 3.0, 0.1).snapshot(transferOf({5}), 0.5).bytesPerSecond, 2);  // 1.67 rounds
}

TEST_F(MockUploadEngineTest, WithoutBytesTheCurrentFileFollowsTheFraction) {
  const MockUploadEngine engine(queue, 20.0, 0.1);
  const auto transfer = transferOf({0, 0, 0});
  EXPECT_EQ(engine.snapshot(transfer, 0.0).currentFileIndex, 0);
  EXPECT_EQ(engine.snapshot(transfer, 0.5).currentFileIndex, 1);
  EXPECT_EQ(engine.snapshot(transfer, 0.99).currentFileIndex, 2);
  EXPECT_EQ(engine.snapshot(transfer, 1.0).currentFileIndex, 2);
  EXPECT_EQ(engine.snapshot(transfer, 0.5).bytesUploaded, 0);
  EXPECT_EQ(engine.snapshot(transfer, 0.5).bytesPerSecond, 0);
}

TEST_F(MockUploadEngineTest, AStopDuringAPauseEndsTheUploadAtOnceWithoutCompletion) {
  MockUploadEngine engine(queue, 20.0, 0.1);
  std::stop_source stop;
  engine.upload(UploadEngineInput{transferOf({100})}, stop.get_token(), recorder.onEvent(), recorder.onFinished());
  queue.advance(1'050ms);
  EXPECT_EQ(recorder.snapshots().size(), 11u);

  stop.request_stop();
  queue.runUntilIdle();  // no time passes
  EXPECT_EQ(recorder.outcome, UploadOutcome(Cancelled{}));
  queue.advance(30s);
  EXPECT_EQ(recorder.snapshots().size(), 11u);
  EXPECT_EQ(recorder.completedCount(), 0u);
}

TEST_F(MockUploadEngineTest, AStopFromInsideAProgressReportOrBeforeTheStartEndsAsCancelled) {
  MockUploadEngine engine(queue, 1.0, 0.1);
  std::stop_source stop;
  auto record = recorder.onEvent();
  engine.upload(UploadEngineInput{transferOf({100})}, stop.get_token(),
                [&](const UploadEvent& event) {
                  record(event);
                  if (recorder.events.size() == 3) stop.request_stop();
                },
                recorder.onFinished());
  queue.advance(5s);
  EXPECT_EQ(recorder.events.size(), 3u);
  EXPECT_EQ(recorder.outcome, UploadOutcome(Cancelled{}));

  Recorder early{queue, {}, std::nullopt};
  std::stop_source stoppedBefore;
  stoppedBefore.request_stop();
  engine.upload(UploadEngineInput{transferOf({100})}, stoppedBefore.get_token(), early.onEvent(), early.onFinished());
  EXPECT_FALSE(early.outcome.has_value());
  queue.advance(5s);
  EXPECT_TRUE(early.events.empty());
  EXPECT_EQ(early.outcome, UploadOutcome(Cancelled{}));
}

TEST_F(MockUploadEngineTest, ResumeFailsAtOnceAndDiscardHasNothingToDo) {
  MockUploadEngine engine(queue);
  engine.resume(UploadEngineInput{transferOf({100})}, {}, recorder.onEvent(), recorder.onFinished());
  EXPECT_FALSE(recorder.outcome.has_value());
  queue.runUntilIdle();
  EXPECT_TRUE(recorder.events.empty());
  ASSERT_TRUE(recorder.outcome.has_value());
  EXPECT_EQ(std::get<upload_outcome::Failed>(*recorder.outcome).error.localizedDescription,
            "Tavrel returned an unexpected upload response.");

  bool discarded = false;
  engine.discard([&] { discarded = true; });
  EXPECT_FALSE(discarded);
  queue.runUntilIdle();
  EXPECT_TRUE(discarded);
}

TEST_F(MockUploadEngineTest, TwoUploadsRunSideBySideAndOutliveTheEngine) {
  Recorder second{queue, {}, std::nullopt};
  {
    MockUploadEngine engine(queue, 1.0, 0.5);
    engine.upload(UploadEngineInput{transferOf({10})}, {}, recorder.onEvent(), recorder.onFinished());
    engine.upload(UploadEngineInput{transferOf({20})}, {}, second.onEvent(), second.onFinished());
  }
  queue.advance(1s);
  EXPECT_EQ(recorder.snapshots().size(), 3u);
  EXPECT_EQ(second.snapshots().size(), 3u);
  EXPECT_EQ(recorder.outcome, UploadOutcome(upload_outcome::Finished{}));
  EXPECT_EQ(second.outcome, UploadOutcome(upload_outcome::Finished{}));
}
