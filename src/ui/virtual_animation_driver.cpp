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

void VirtualAnimationDriver::advance(std::chrono::milliseconds by) {
  constexpr qint64 frame = 16;
  qint64 remaining = by.count();
  do {
    // Animations that were just started register with the timer through a queued call: let
    // them, so this step moves them too.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    const qint64 step = std::min(frame, remaining);
    elapsed_ += step;
    remaining -= step;
    QAnimationDriver::advance();
  } while (remaining > 0);
}

}  // namespace tavrel::ui
