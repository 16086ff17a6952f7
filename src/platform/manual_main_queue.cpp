#include "platform/manual_main_queue.h"

#include <algorithm>
#include <condition_variable>

namespace tavrel::platform {

TimePoint VirtualClock::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

void VirtualClock::advance(Duration by) {
  std::lock_guard lock(mutex_);
  now_ += by;
}

// Wake-ups are given under the lock: once it is released the task may run and the queue be
// destroyed, so the poster must not touch the condition variable after that.
void ManualMainQueue::post(Task task) {
  std::lock_guard lock(mutex_);
  timers_.pushReady(std::move(task));
  posted_.notify_all();
}

DelayedTask ManualMainQueue::postDelayed(Duration delay, Task task) {
  std::lock_guard lock(mutex_);
  DelayedTask handle = timers_.pushDelayed(clock_.now() + std::max(delay, Duration::zero()), std::move(task));
  // A task due at once is as ready as a posted one for a runUntil() waiting on another thread.
  posted_.notify_all();
  return handle;
}

std::optional<Task> ManualMainQueue::takeReady() {
  std::lock_guard lock(mutex_);
  timers_.promoteDue(clock_.now());
  return timers_.popReady();
}

std::size_t ManualMainQueue::runUntilIdle() {
  std::size_t count = 0;
  while (auto task = takeReady()) {
    (*task)();
    ++count;
  }
  return count;
}

bool ManualMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout) {
  // Conditions that other threads change without posting anything are looked at this often.
  constexpr auto kRecheck = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + realTimeout;
  while (!done()) {
    if (auto task = takeReady()) {
      (*task)();
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return done();
    std::unique_lock lock(mutex_);
    posted_.wait_until(lock, std::min(deadline, now + kRecheck), [&] {
      const auto due = timers_.nextDue();
      return timers_.hasReady() || (due && *due <= clock_.now());
    });
  }
  return true;
}

void ManualMainQueue::advance(Duration by) {
  const TimePoint target = clock_.now() + by;
  runUntilIdle();
  for (;;) {
    std::optional<TimePoint> due;
    {
      std::lock_guard lock(mutex_);
      due = timers_.nextDue();
    }
    if (!due || *due > target) break;
    if (*due > clock_.now()) clock_.advance(*due - clock_.now());
    runUntilIdle();
  }
  if (target > clock_.now()) clock_.advance(target - clock_.now());
  runUntilIdle();
}

bool ManualMainQueue::hasPendingTasks() {
  std::lock_guard lock(mutex_);
  return timers_.hasReady() || timers_.nextDue().has_value();
}

}  // namespace tavrel::platform
