#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/cancellation.h"
#include "platform/event_loop.h"
#include "platform/manual_main_queue.h"

using namespace std::chrono_literals;
using tavrel::platform::EventLoop;
using tavrel::platform::ManualMainQueue;

TEST(ManualMainQueueTest, RunsPostedTasksInOrderIncludingThoseTheyPost) {
  ManualMainQueue queue;
  std::vector<int> order;
  queue.post([&] {
    order.push_back(1);
    queue.post([&] { order.push_back(3); });
  });
  queue.post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());  // nothing runs inside post()
  EXPECT_EQ(queue.runUntilIdle(), 3u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(ManualMainQueueTest, DelayedTasksRunAtTheirDueTimeInOrder) {
  ManualMainQueue queue;
  std::vector<std::string> order;
  queue.postDelayed(2s, [&] { order.push_back("b@2"); });
  queue.postDelayed(1s, [&] {
    order.push_back("a@1");
    queue.postDelayed(500ms, [&] { order.push_back("c@1.5"); });
  });
  queue.postDelayed(2s, [&] { order.push_back("d@2"); });

  queue.advance(999ms);
  EXPECT_TRUE(order.empty());
  queue.advance(1ms);
  EXPECT_EQ(order, (std::vector<std::string>{"a@1"}));
  queue.advance(1s);
  EXPECT_EQ(order, (std::vector<std::string>{"a@1", "c@1.5", "b@2", "d@2"}));
}

TEST(ManualMainQueueTest, CancelledDelayedTaskNeverRuns) {
  ManualMainQueue queue;
  bool ran = false;
  auto handle = queue.postDelayed(1s, [&] { ran = true; });
  handle.cancel();
  queue.advance(5s);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(queue.hasPendingTasks());
}

TEST(ManualMainQueueTest, CancelBetweenDueAndRunStillHolds) {
  ManualMainQueue queue;
  bool ran = false;
  tavrel::platform::DelayedTask later;
  queue.postDelayed(1s, [&] { later.cancel(); });
  later = queue.postDelayed(1s, [&] { ran = true; });
  queue.advance(1s);
  EXPECT_FALSE(ran);
}

TEST(ManualMainQueueTest, RunUntilWaitsForTasksFromOtherThreads) {
  ManualMainQueue queue;
  bool done = false;
  std::jthread worker([&] {
    std::this_thread::sleep_for(10ms);
    queue.post([&] { done = true; });
  });
  EXPECT_TRUE(queue.runUntil([&] { return done; }));
}

TEST(ManualMainQueueTest, RunUntilRunsATaskDueAtOncePostedFromAnotherThread) {
  ManualMainQueue queue;
  bool done = false;
  std::jthread worker([&] { queue.postDelayed(0s, [&] { done = true; }); });
  EXPECT_TRUE(queue.runUntil([&] { return done; }, 30s));
}

// A condition that a worker makes true without posting ends the wait as soon as it holds, not at
// the deadline: here it would no longer hold by then.
TEST(ManualMainQueueTest, RunUntilEndsAsSoonAsAConditionHoldsThatNoTaskChanged) {
  ManualMainQueue queue;
  std::atomic<bool> condition{false};
  std::atomic<bool> returned{false};
  std::jthread worker([&] {
    condition = true;
    for (int i = 0; i < 1000 && !returned; ++i) std::this_thread::sleep_for(10ms);
    condition = false;
  });
  EXPECT_TRUE(queue.runUntil([&] { return condition.load(); }, 30s));
  returned = true;
}

TEST(EventLoopTest, RunsTasksAndDelayedTasksUntilQuit) {
  EventLoop loop;
  std::vector<int> order;
  loop.postDelayed(20ms, [&] {
    order.push_back(2);
    loop.quit();
  });
  loop.post([&] { order.push_back(1); });
  std::jthread poster([&] { loop.postDelayed(100s, [&] { order.push_back(99); }); });
  poster.join();
  loop.run();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(SleepForTest, WakesAtOnceWhenStopped) {
  std::stop_source source;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(20ms);
    source.request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(tavrel::platform::sleepFor(60s, source.get_token()));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_TRUE(tavrel::platform::sleepFor(1ms, std::stop_token{}));
}
