#include "platform/time_limited_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/manual_main_queue.h"

namespace tavrel::platform {
namespace {

using namespace std::chrono_literals;

// Enough rounds for ThreadSanitizer to catch a poster still inside the queue when the main thread
// destroys it; each round lasts well under a millisecond.
constexpr int kRounds = 300;

// Work that ends on time: its continuation quits the loop, and the loop is destroyed at once, as
// a program does at quit. The worker must be done with the loop by then.
TEST(TimeLimitedWorkTest, AWorkerThatEndsOnTimeIsDoneWithTheQueueWhenItsContinuationRuns) {
  for (int round = 0; round < kRounds; ++round) {
    auto loop = std::make_unique<EventLoop>();
    auto work = std::make_shared<TimeLimitedWork<int>>();
    int outcomes = 0;
    std::optional<TimeLimitedWork<int>::Outcome> outcome;
    work->start(*loop, 1h, [](std::stop_token) { return 7; }, [&](TimeLimitedWork<int>::Outcome value) {
      ++outcomes;
      outcome = std::move(value);
      loop->quit();
    });
    loop->run();
    loop.reset();
    ASSERT_EQ(outcomes, 1);
    ASSERT_EQ(outcome, TimeLimitedWork<int>::Outcome(7));
  }
}

// A cancel that loses the race to a worker ending on time returns only once that worker is done
// with the queue, so the queue may go at once, its continuation unrun.
TEST(TimeLimitedWorkTest, ACancelThatLosesToTheWorkerReturnsOnlyOnceTheWorkerLeftTheQueue) {
  for (int round = 0; round < kRounds; ++round) {
    auto queue = std::make_unique<ManualMainQueue>();
    auto work = std::make_shared<TimeLimitedWork<int>>();
    std::atomic<bool> ending{false};
    work->start(*queue, 1h,
                [&](std::stop_token) {
                  ending = true;
                  return 7;
                },
                [](TimeLimitedWork<int>::Outcome) {});
    while (!ending) std::this_thread::yield();
    work->cancel();
    queue.reset();
  }
}

// A main queue whose post() is slow: once in it, it waits until the main thread is about to cancel,
// then takes a while before it is done with the queue.
class SlowPostingQueue final : public MainQueue {
 public:
  void post(Task task) override {
    posting = true;
    while (!cancelling) std::this_thread::yield();
    std::this_thread::sleep_for(50ms);
    inner.post(std::move(task));
    postDone = true;
  }
  DelayedTask postDelayed(Duration delay, Task task) override { return inner.postDelayed(delay, std::move(task)); }
  const Clock& clock() const override { return inner.clock(); }

  ManualMainQueue inner;
  std::atomic<bool> posting{false};
  std::atomic<bool> cancelling{false};
  std::atomic<bool> postDone{false};
};

// A worker that finished on time is posting its result when the main thread cancels: the cancel
// returns only after that post, so the main thread may destroy the queue then.
TEST(TimeLimitedWorkTest, ACancelWaitsForTheWorkersPostToEnd) {
  SlowPostingQueue queue;
  auto work = std::make_shared<TimeLimitedWork<int>>();
  work->start(queue, 1h, [](std::stop_token) { return 7; }, [](TimeLimitedWork<int>::Outcome) {});
  while (!queue.posting) std::this_thread::yield();
  queue.cancelling = true;
  work->cancel();
  EXPECT_TRUE(queue.postDone);
  while (!queue.postDone) std::this_thread::yield();
}

// A worker that outlives its limit never posts: its outcome was decided on the main thread.
TEST(TimeLimitedWorkTest, AWorkerPastItsLimitNeverReachesTheQueue) {
  auto queue = std::make_unique<ManualMainQueue>();
  auto work = std::make_shared<TimeLimitedWork<int>>();
  std::atomic<bool> started{false};
  std::atomic<bool> release{false};
  std::atomic<bool> returned{false};
  std::vector<TimeLimitedWork<int>::Outcome> outcomes;
  work->start(*queue, 5s,
              [&](std::stop_token) {
                started = true;
                while (!release) std::this_thread::yield();
                returned = true;
                return 7;
              },
              [&](TimeLimitedWork<int>::Outcome value) { outcomes.push_back(std::move(value)); });
  while (!started) std::this_thread::yield();
  queue->advance(5s);
  EXPECT_EQ(outcomes, std::vector<TimeLimitedWork<int>::Outcome>{WorkTimedOut{}});
  queue.reset();
  release = true;
  while (!returned) std::this_thread::yield();
  work.reset();
}

}  // namespace
}  // namespace tavrel::platform
