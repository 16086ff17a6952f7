#pragma once

// Blocking work that may never return (a file on a hung network or FUSE mount), run on a worker
// thread of its own under a time limit. Exactly one outcome reaches the continuation, on the main
// thread: the work's result, TimedOut, or Cancelled, whichever comes first. Work that outlives its
// limit is abandoned: its thread runs on until the call returns, keeps what it captured alive, and
// its result is dropped.
//
// IMPORTANT: Thread-safety. start() on the main thread; cancel() from any thread. The outcome is
// decided once, under a lock that is held while the continuation is posted but never while the work
// or the continuation runs. Only a waiting continuation touches the queue: once the continuation
// has run, or cancel() has returned, no thread of this work reaches the queue again, so the main
// thread may destroy it then.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>
#include <variant>

#include "platform/main_queue.h"

namespace tavrel::platform {

struct WorkTimedOut {
  friend bool operator==(WorkTimedOut, WorkTimedOut) { return true; }
};
struct WorkCancelled {
  friend bool operator==(WorkCancelled, WorkCancelled) { return true; }
};

template <typename Result>
class TimeLimitedWork : public std::enable_shared_from_this<TimeLimitedWork<Result>> {
 public:
  using Outcome = std::variant<Result, WorkTimedOut, WorkCancelled>;
  using Work = std::function<Result(std::stop_token)>;
  using Continuation = std::function<void(Outcome)>;

  // Runs `work` on a detached thread; the token it gets is stopped on a time-out or a cancel. The
  // continuation runs once, never inside this call; at once with Cancelled when cancel() came first.
  void start(MainQueue& mainQueue, Duration limit, Work work, Continuation continuation) {
    {
      std::unique_lock lock(lock_);
      if (isFinished_) {
        lock.unlock();
        mainQueue.post([continuation = std::move(continuation)] { continuation(WorkCancelled{}); });
        return;
      }
      mainQueue_ = &mainQueue;
      continuation_ = std::move(continuation);
    }
    std::weak_ptr<TimeLimitedWork> weak = this->weak_from_this();
    auto timer = mainQueue.postDelayed(limit, [weak] {
      if (auto self = weak.lock()) self->finish(WorkTimedOut{}, true);
    });
    std::stop_source stop;
    {
      std::lock_guard lock(lock_);
      if (isFinished_) {
        timer.cancel();
        if (shouldStopWork_) stop.request_stop();
      } else {
        timer_ = timer;
        stop_ = stop;
      }
    }
    std::thread([self = this->shared_from_this(), work = std::move(work), token = stop.get_token()] {
      {
        std::lock_guard lock(self->lock_);
        if (self->isFinished_) return;
      }
      self->finish(work(token), false);
    }).detach();
  }

  void cancel() { finish(WorkCancelled{}, true); }

 private:
  void finish(Outcome outcome, bool stopWork) {
    std::optional<std::stop_source> stop;
    std::optional<DelayedTask> timer;
    {
      std::lock_guard lock(lock_);
      if (isFinished_) return;
      isFinished_ = true;
      shouldStopWork_ = stopWork;
      stop = std::exchange(stop_, std::nullopt);
      timer = std::exchange(timer_, std::nullopt);
      // Posted under the lock: a worker that finishes on time is done with the queue before a
      // cancel() racing it can return, and a thread that returns after its time-out finds the work
      // finished and never reaches a queue that may be gone by then.
      if (continuation_ && mainQueue_) {
        mainQueue_->post([continuation = std::move(*continuation_), outcome = std::move(outcome)]() mutable {
          continuation(std::move(outcome));
        });
      }
      continuation_.reset();
    }
    if (timer) timer->cancel();
    if (stopWork && stop) stop->request_stop();
  }

  std::mutex lock_;  // guards everything below
  MainQueue* mainQueue_ = nullptr;
  std::optional<Continuation> continuation_;
  std::optional<std::stop_source> stop_;
  std::optional<DelayedTask> timer_;
  bool isFinished_ = false;
  bool shouldStopWork_ = false;
};

}  // namespace tavrel::platform
