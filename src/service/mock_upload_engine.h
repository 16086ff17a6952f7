#pragma once

#include <cstdint>

#include "platform/main_queue.h"
#include "transfer/upload_engine.h"

namespace tavrel {

// An upload engine that talks to no service: it plays an upload as a steady, timed stream of
// progress reports and then reports a completed transfer without service identifiers, so the
// whole transfer cycle can run without network or account.
//
// One upload of `duration` seconds takes N = max(1, round(duration / updateInterval)) steps:
// N + 1 progress reports at fractions 0, 1/N, ..., 1, with a pause of `updateInterval` between
// two, then the `completed` event and the completion. Pauses are timers of the main queue, so
// they follow its clock (virtual time in tests).
//
// IMPORTANT: Thread-safety. Call every operation on the main thread. Events and completions run
// on the main thread, in order, never inside the call. A stop request ends a running upload at
// once with `Cancelled` and no further event. The engine holds no state between calls and may run
// several uploads at once. `duration` and `updateInterval` must be positive and finite.
class MockUploadEngine final : public UploadEngine {
 public:
  MockUploadEngine(platform::MainQueue& mainQueue, double duration = 20.0, double updateInterval = 0.1);

  double duration() const { return duration_; }
  double updateInterval() const { return updateInterval_; }

  void upload(UploadEngineInput input, std::stop_token stop, EventHandler onEvent, Completion onFinished) override;
  // Always fails at once with the service's "unexpected upload response" error: nothing is kept
  // that could be resumed.
  void resume(UploadEngineInput input, std::stop_token stop, EventHandler onEvent, Completion onFinished) override;
  // Nothing to forget.
  void discard(std::function<void()> onDiscarded) override;

  // The number of steps N of one upload.
  std::int64_t stepCount() const;
  // The report for the fraction `fraction` of `transfer`.
  UploadProgressSnapshot snapshot(const PreparedTransfer& transfer, double fraction) const;

 private:
  platform::MainQueue& mainQueue_;
  double duration_;
  double updateInterval_;
};

}  // namespace tavrel
