#pragma once

#include <functional>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/main_queue.h"
#include "platform/timer_queue.h"

namespace tavrel::platform {

// A clock that only moves when told to. Thread-safe.
class VirtualClock final : public Clock {
 public:
  TimePoint now() const override;
  void advance(Duration by);

 private:
  mutable std::mutex mutex_;
  TimePoint now_{};
};

// The main queue of tests: nothing runs until the test drains it, and time is virtual.
//
// post() and postDelayed() may be called from any thread (fakes of background services post from
// their own threads); the draining calls must come from the test's thread, which plays the main
// thread.
class ManualMainQueue final : public MainQueue {
 public:
  void post(Task task) override;
  DelayedTask postDelayed(Duration delay, Task task) override;
  const Clock& clock() const override { return clock_; }
  VirtualClock& virtualClock() { return clock_; }

  // Runs ready tasks, including those they post, until none is left. Time does not move.
  // Returns the number of tasks run.
  std::size_t runUntilIdle();

  // Runs ready tasks until `done` holds, waiting up to `realTimeout` of wall time for tasks posted
  // from other threads (or for `done` to come true on its own). Time does not move. Returns
  // whether `done` held.
  bool runUntil(const std::function<bool()>& done,
                std::chrono::milliseconds realTimeout = std::chrono::seconds(20));

  // Moves virtual time forward by `by`, running every task that falls due on the way at its due
  // time, in order, together with what those tasks post.
  void advance(Duration by);

  // Whether a ready or delayed task is waiting.
  bool hasPendingTasks();

 private:
  std::optional<Task> takeReady();

  std::mutex mutex_;
  std::condition_variable posted_;
  TimerQueue timers_;
  VirtualClock clock_;
};

}  // namespace tavrel::platform
