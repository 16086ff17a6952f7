#include "platform/timer_queue.h"

namespace tavrel::platform {

void TimerQueue::pushReady(Task task) { ready_.push(std::move(task)); }

DelayedTask TimerQueue::pushDelayed(TimePoint due, Task task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  delayed_.push(Delayed{due, nextSequence_++, std::move(task), cancelled});
  return DelayedTask(cancelled);
}

void TimerQueue::dropCancelledHead() {
  while (!delayed_.empty() && delayed_.top().cancelled->load()) delayed_.pop();
}

void TimerQueue::promoteDue(TimePoint now) {
  dropCancelledHead();
  while (!delayed_.empty() && delayed_.top().due <= now) {
    // The task checks its flag again when it runs, so a cancel() between now and then still holds.
    Delayed top = delayed_.top();
    delayed_.pop();
    auto cancelled = top.cancelled;
    ready_.push([task = std::move(top.task), cancelled] {
      if (!cancelled->load()) task();
    });
    dropCancelledHead();
  }
}

std::optional<Task> TimerQueue::popReady() {
  if (ready_.empty()) return std::nullopt;
  Task task = std::move(ready_.front());
  ready_.pop();
  return task;
}

std::optional<TimePoint> TimerQueue::nextDue() {
  dropCancelledHead();
  if (delayed_.empty()) return std::nullopt;
  return delayed_.top().due;
}

void TimerQueue::clear() {
  ready_ = {};
  delayed_ = {};
}

}  // namespace tavrel::platform
