#include "island/notch_panel.h"

#include <QKeyEvent>
#include <QPlatformSurfaceEvent>

#include "island/window_shape.h"

namespace tavrel {

NotchPanel::NotchPanel(QWindow* parent) : QQuickWindow(parent) {
  setColor(Qt::transparent);
  setAllowsKeyWindow(false);
}

void NotchPanel::setAllowsKeyWindow(bool allows) {
  allowsKeyWindow_ = allows;
  // A tool window above the others; without focus it never takes the keyboard from the user's window.
  // It bypasses the window manager: no frame of the manager's takes the presses its input shape lets
  // through, and it may sit over the desktop's panels.
  Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint |
                          Qt::BypassWindowManagerHint;
  if (!allows) flags |= Qt::WindowDoesNotAcceptFocus;
  if (flags != this->flags()) setFlags(flags);
}

void NotchPanel::setInputRegion(const QRegion& region) {
  if (region == inputRegion_ && handle()) return;
  inputRegion_ = region;
  applyInputRegion();
}

void NotchPanel::applyInputRegion() {
  if (handle()) window_shape::setInputRegion(*this, inputRegion_);
}

bool NotchPanel::event(QEvent* event) {
  const bool handled = QQuickWindow::event(event);
  // A new native window starts unshaped.
  if (event->type() == QEvent::PlatformSurface &&
      static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated) {
    applyInputRegion();
  }
  return handled;
}

void NotchPanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    if (onEscape) onEscape();
    return;
  }
  QQuickWindow::keyPressEvent(event);
}

}  // namespace tavrel
