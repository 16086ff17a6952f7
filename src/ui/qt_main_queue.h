#pragma once

#include <QObject>
#include <QPointer>

#include "platform/main_queue.h"

namespace tavrel::ui {

// The program's main queue on the Qt event loop: the stores, engines and views all run on the thread
// that owns the Qt application.
//
// IMPORTANT: Thread-safety. post() and postDelayed() may be called from any thread. Tasks run on the
// thread of the application object, one at a time, never inside the call that posted them; tasks
// posted without delay run in FIFO order (queued events of one receiver keep their order). A delayed
// task starts a timer on the main thread once the post reaches it, so its delay counts from then;
// tasks with equal delays posted from the main thread run in posting order. Tasks still queued when
// the queue is destroyed are dropped without running.
class QtMainQueue final : public platform::MainQueue {
 public:
  // Must be made on the thread that runs the Qt event loop, after the application object.
  QtMainQueue();
  ~QtMainQueue() override;

  void post(platform::Task task) override;
  platform::DelayedTask postDelayed(platform::Duration delay, platform::Task task) override;
  const platform::Clock& clock() const override { return clock_; }

 private:
  platform::SteadyClock clock_;
  QObject* receiver_;  // lives on the main thread; deleted with the queue
};

}  // namespace tavrel::ui
