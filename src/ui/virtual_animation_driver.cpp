#include "ui/virtual_animation_driver.h"

#include <QCoreApplication>
#include <QQuickWindow>
#include <algorithm>

namespace tavrel::ui {

VirtualAnimationDriver::VirtualAnimationDriver() {
  // The scene graph's render loop installs a driver of its own when the first window is made;
  // make that happen now, so it cannot replace this one later.
  { QQuickWindow warmUp; }
  install();
}

VirtualAnimationDriver::~VirtualAnimationDriver() { uninstall(); }

void VirtualAnimationDriver::start() {
  elapsed_ = 0;
  QAnimationDriver::start();
}

void VirtualAnimationDriver::advance(std::chrono::milliseconds by) {
  constexpr qint64 frame = 16;
  qint64 remaining = by.count();
  do {
    // An animation that was just started reaches the driver through two queued calls (it joins its
    // animation timer, which joins Qt's unified timer): deliver both, so this step moves it too.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    const qint64 step = std::min(frame, remaining);
    remaining -= step;
    // Frames tick only while Qt's animation timer runs the driver: ticking an idle one would start
    // it with nothing to animate, and the next animation would take the idle time as its first step.
    if (isRunning()) {
      elapsed_ += step;
      QAnimationDriver::advance();
    }
  } while (remaining > 0);
}

}  // namespace tavrel::ui
