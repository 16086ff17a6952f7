#include "service/mock_upload_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>

#include "records/transfer_service_records.h"

namespace tavrel {
namespace {

platform::Duration seconds(double value) {
  return std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(std::max(value, 0.0)));
}

// One simulated upload. Steps and the final completion run on the main thread; only the stop
// callback may run elsewhere, and it merely cancels the pending pause and posts the cancellation.
struct Run : std::enable_shared_from_this<Run> {
  Run(platform::MainQueue& queue, const MockUploadEngine& engine, UploadEngineInput input,
      UploadEngine::EventHandler onEvent, UploadEngine::Completion onFinished)
      : queue(queue),
        engine(engine),
        input(std::move(input)),
        onEvent(std::move(onEvent)),
        onFinished(std::move(onFinished)) {}

  platform::MainQueue& queue;
  const MockUploadEngine engine;  // a copy: the run may outlive the engine it came from
  UploadEngineInput input;
  UploadEngine::EventHandler onEvent;
  UploadEngine::Completion onFinished;
  std::stop_token stop;
  std::optional<std::stop_callback<std::function<void()>>> stopCallback;
  bool finished = false;  // main thread only

  std::mutex mutex;
  platform::DelayedTask pause;  // guarded by mutex

  void start(std::stop_token token) {
    stop = std::move(token);
    std::weak_ptr<Run> weakRun = weak_from_this();
    // May run at once, inside this call, when stop was already requested; it only posts.
    stopCallback.emplace(stop, std::function<void()>([weakRun] {
                           if (auto run = weakRun.lock()) run->stopRequested();
                         }));
    queue.post([run = shared_from_this()] { run->step(0); });
  }

  void stopRequested() {
    {
      std::lock_guard lock(mutex);
      pause.cancel();
    }
    queue.post([run = shared_from_this()] { run->finish(Cancelled{}); });
  }

  void finish(UploadOutcome outcome) {
    if (finished) return;
    finished = true;
    stopCallback.reset();
    auto completion = std::move(onFinished);
    completion(std::move(outcome));
  }

  void step(std::int64_t index) {
    if (finished) return;
    if (stop.stop_requested()) return finish(Cancelled{});
    const std::int64_t steps = engine.stepCount();
    const double fraction = static_cast<double>(index) / static_cast<double>(steps);
    onEvent(upload_event::Progress{engine.snapshot(input.preparedTransfer, fraction)});
    if (fraction >= 1.0) {
      onEvent(upload_event::Completed{CompletedTransfer{input.preparedTransfer, std::nullopt, std::nullopt, std::nullopt}});
      return finish(upload_outcome::Finished{});
    }
    std::lock_guard lock(mutex);
    if (stop.stop_requested()) return;  // the stop callback has posted the cancellation
    pause = queue.postDelayed(seconds(engine.updateInterval()),
                              [run = shared_from_this(), index] { run->step(index + 1); });
  }
};

}  // namespace

MockUploadEngine::MockUploadEngine(platform::MainQueue& mainQueue, double duration, double updateInterval)
    : mainQueue_(mainQueue), duration_(duration), updateInterval_(updateInterval) {}

std::int64_t MockUploadEngine::stepCount() const {
  return std::max<std::int64_t>(1, std::llround(duration_ / updateInterval_));
}

UploadProgressSnapshot MockUploadEngine::snapshot(const PreparedTransfer& transfer, double fraction) const {
  const double progress = std::clamp(fraction, 0.0, 1.0);
  const std::int64_t total = transfer.totalBytes();

  const std::int64_t rawBytes =
      progress >= 1.0 ? total : static_cast<std::int64_t>(std::floor(progress * static_cast<double>(total)));
  const std::int64_t bytesUploaded = std::clamp<std::int64_t>(rawBytes, 0, total);
  const std::int64_t bytesPerSecond =
      std::max<std::int64_t>(0, duration_ > 0 ? std::llround(static_cast<double>(total) / duration_) : total);

  std::optional<int> currentFileIndex;
  const auto fileCount = static_cast<int>(transfer.files.size());
  if (fileCount > 0) {
    if (progress >= 1.0) {
      currentFileIndex = fileCount - 1;
    } else if (total == 0) {
      currentFileIndex = std::min(fileCount - 1, static_cast<int>(std::floor(progress * fileCount)));
    } else {
      currentFileIndex = fileCount - 1;
      std::int64_t runningTotal = 0;
      for (int index = 0; index < fileCount; ++index) {
        runningTotal += transfer.files[static_cast<std::size_t>(index)].size;
        if (runningTotal > rawBytes) {
          currentFileIndex = index;
          break;
        }
      }
    }
  }
  return UploadProgressSnapshot{transfer, bytesUploaded, bytesPerSecond, progress, currentFileIndex};
}

void MockUploadEngine::upload(UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                              Completion onFinished) {
  auto run = std::make_shared<Run>(mainQueue_, *this, std::move(input), std::move(onEvent), std::move(onFinished));
  run->start(std::move(stop));
}

void MockUploadEngine::resume(UploadEngineInput, std::stop_token, EventHandler, Completion onFinished) {
  const std::string text = TransferAPIError::invalidResponse().errorDescription();
  mainQueue_.post([onFinished = std::move(onFinished), text] {
    onFinished(upload_outcome::Failed{UploadError{text}});
  });
}

void MockUploadEngine::discard(std::function<void()> onDiscarded) { mainQueue_.post(std::move(onDiscarded)); }

}  // namespace tavrel
