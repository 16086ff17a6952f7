#pragma once

#include <stop_token>

#include "platform/main_queue.h"

namespace tavrel {

// Pauses of background work (an engine's waits between attempts, a simulated upload's steps).
//
// IMPORTANT: Thread-safety. sleep() blocks the calling worker thread; never call it on the main
// thread (timers of main-thread code go through the main queue instead). It may be called from
// several threads at once.
class TransferClock {
 public:
  virtual ~TransferClock() = default;
  // Sleeps for `duration`, or until `stop` is requested. Returns true when the whole duration
  // passed, false when stopped (the caller then ends as cancelled).
  virtual bool sleep(platform::Duration duration, std::stop_token stop) = 0;
};

// Sleeps on the monotonic clock.
class SystemTransferClock final : public TransferClock {
 public:
  bool sleep(platform::Duration duration, std::stop_token stop) override;
};

}  // namespace tavrel
