#include "ui/qt_main_queue.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <chrono>

namespace tavrel::ui {

QtMainQueue::QtMainQueue() : receiver_(new QObject) {}

QtMainQueue::~QtMainQueue() { delete receiver_; }

void QtMainQueue::post(platform::Task task) {
  // A queued invocation on an object of the main thread: runs later on that thread, in order,
  // and is dropped with the object.
  QMetaObject::invokeMethod(receiver_, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

platform::DelayedTask QtMainQueue::postDelayed(platform::Duration delay, platform::Task task) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  platform::DelayedTask handle(cancelled);
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(delay).count();
  QObject* receiver = receiver_;
  auto arm = [receiver, milliseconds, cancelled, task = std::move(task)]() mutable {
    if (cancelled->load()) return;
    QTimer::singleShot(std::max<long long>(0, milliseconds), Qt::PreciseTimer, receiver,
                       [cancelled, task = std::move(task)] {
                         // Checked again here: a cancel may land while the timer runs.
                         if (!cancelled->load()) task();
                       });
  };
  QMetaObject::invokeMethod(receiver_, std::move(arm), Qt::QueuedConnection);
  return handle;
}

}  // namespace tavrel::ui
