#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace tavrel::platform {

using Duration = std::chrono::steady_clock::duration;
using TimePoint = std::chrono::steady_clock::time_point;
using Task = std::function<void()>;

// A handle to a task posted with a delay. Copyable; every copy refers to the same task.
// cancel() may be called from any thread. Called on the main thread, it guarantees that the task
// will not start; called on another thread, a task that the main thread is just starting may still
// run. A task that is already running is not interrupted. Dropping the handle does NOT cancel.
class DelayedTask {
 public:
  DelayedTask() = default;
  explicit DelayedTask(std::shared_ptr<std::atomic<bool>> cancelled) : cancelled_(std::move(cancelled)) {}

  void cancel() const {
    if (cancelled_) cancelled_->store(true);
  }
  bool isCancelled() const { return !cancelled_ || cancelled_->load(); }

 private:
  std::shared_ptr<std::atomic<bool>> cancelled_;
};

// A monotonic clock. Production uses the steady clock; tests use VirtualClock.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimePoint now() const = 0;
};

class SteadyClock final : public Clock {
 public:
  TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

// The queue of the main thread, which owns every store, controller and view.
//
// post() and postDelayed() may be called from any thread. Tasks run on the main thread, one at a
// time, never inside the call that posted them. Tasks posted without delay run in FIFO order;
// delayed tasks run once their delay has passed on the queue's clock, ordered by due time and then
// by posting order. Nothing is guaranteed about tasks still queued when the queue is destroyed:
// they are dropped without running.
//
// A posting thread touches nothing of the queue once its task can run: the task (or whatever runs
// after it on the main thread) may destroy the queue while the poster is still returning.
class MainQueue {
 public:
  virtual ~MainQueue() = default;

  virtual void post(Task task) = 0;
  virtual DelayedTask postDelayed(Duration delay, Task task) = 0;
  // The clock that decides when delayed tasks are due.
  virtual const Clock& clock() const = 0;
};

}  // namespace tavrel::platform
