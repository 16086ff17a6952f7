#include "island/notch_panel.h"

#include <QKeyEvent>

namespace tavrel {

NotchPanel::NotchPanel(QWindow* parent) : QQuickWindow(parent) {
  setColor(Qt::transparent);
  setAllowsKeyWindow(false);
}

void NotchPanel::setAllowsKeyWindow(bool allows) {
  allowsKeyWindow_ = allows;
  // A tool window above the others; without focus it never takes the keyboard from the user's window.
  Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;
  if (!allows) flags |= Qt::WindowDoesNotAcceptFocus;
  setFlags(flags);
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
