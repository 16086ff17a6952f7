#include "platform/event_loop.h"

namespace tavrel::platform {

// Every wake-up is given under the lock: once it is released the task may run and the loop be
// destroyed, so the poster must not touch the condition variable after that.
void EventLoop::post(Task task) {
  std::lock_guard lock(mutex_);
  timers_.pushReady(std::move(task));
  wake_.notify_one();
}

DelayedTask EventLoop::postDelayed(Duration delay, Task task) {
  std::lock_guard lock(mutex_);
  DelayedTask handle = timers_.pushDelayed(clock_->now() + delay, std::move(task));
  wake_.notify_one();
  return handle;
}

void EventLoop::quit() {
  std::lock_guard lock(mutex_);
  quitRequested_ = true;
  wake_.notify_one();
}

void EventLoop::run() {
  std::unique_lock lock(mutex_);
  while (!quitRequested_) {
    timers_.promoteDue(clock_->now());
    if (auto task = timers_.popReady()) {
      lock.unlock();
      (*task)();
      lock.lock();
      continue;
    }
    if (auto due = timers_.nextDue()) {
      // The steady clock is what a condition variable can wait on; a custom clock is polled.
      wake_.wait_for(lock, std::max(Duration::zero(), *due - clock_->now()));
    } else {
      wake_.wait(lock);
    }
  }
}

}  // namespace tavrel::platform
