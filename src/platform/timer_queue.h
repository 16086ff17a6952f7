#pragma once

#include <cstdint>
#include <optional>
#include <queue>
#include <vector>

#include "platform/main_queue.h"

namespace tavrel::platform {

// Bookkeeping shared by the queue implementations: ready tasks in FIFO order and delayed tasks
// ordered by due time, then by posting order. Not thread-safe; owners lock around it.
class TimerQueue {
 public:
  void pushReady(Task task);
  DelayedTask pushDelayed(TimePoint due, Task task);

  // Moves delayed tasks due at or before `now` to the ready list (cancelled ones are dropped).
  void promoteDue(TimePoint now);
  std::optional<Task> popReady();
  // The due time of the earliest live delayed task.
  std::optional<TimePoint> nextDue();
  bool hasReady() const { return !ready_.empty(); }
  void clear();

 private:
  struct Delayed {
    TimePoint due;
    std::uint64_t sequence;
    Task task;
    std::shared_ptr<std::atomic<bool>> cancelled;
  };
  struct Later {
    bool operator()(const Delayed& a, const Delayed& b) const {
      return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }
  };
  void dropCancelledHead();

  std::queue<Task> ready_;
  std::priority_queue<Delayed, std::vector<Delayed>, Later> delayed_;
  std::uint64_t nextSequence_ = 0;
};

}  // namespace tavrel::platform
