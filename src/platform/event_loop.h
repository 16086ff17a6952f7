#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/main_queue.h"
#include "platform/timer_queue.h"

namespace tavrel::platform {

// A plain main loop for tools and headless runs: the thread that calls run() becomes the main
// thread until quit() is called (from any thread, or from a task).
class EventLoop final : public MainQueue {
 public:
  EventLoop() = default;
  explicit EventLoop(const Clock& clock) : clock_(&clock) {}

  void post(Task task) override;
  DelayedTask postDelayed(Duration delay, Task task) override;
  const Clock& clock() const override { return *clock_; }

  // Runs tasks until quit(). Returns at once when quit() was called before.
  void run();
  void quit();

 private:
  SteadyClock steadyClock_;
  const Clock* clock_ = &steadyClock_;
  std::mutex mutex_;
  std::condition_variable wake_;
  TimerQueue timers_;
  bool quitRequested_ = false;
};

}  // namespace tavrel::platform
