#include "menubar/outside_click_monitor.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <cstdlib>
#include <QTimer>
#include <QWindow>
#include <xcb/xcb.h>

namespace tavrel {

namespace {

// Asks the X server, since a press in another program never reaches our own button state.
bool pointerButtonsDownOnX11() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return false;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen) return false;
  xcb_query_pointer_reply_t* reply =
      xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr);
  if (!reply) return false;
  const bool down = (reply->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3)) != 0;
  std::free(reply);
  return down;
}

}  // namespace

OutsideClickMonitor::OutsideClickMonitor(QObject* parent) : OutsideClickMonitor(pointerButtonsDownOnX11, 50, parent) {}

OutsideClickMonitor::OutsideClickMonitor(ButtonsDown buttonsDown, int releasePollMilliseconds, QObject* parent)
    : QObject(parent), buttonsDown_(std::move(buttonsDown)), releasePollMilliseconds_(releasePollMilliseconds) {}

OutsideClickMonitor::~OutsideClickMonitor() { stop(); }

void OutsideClickMonitor::start(std::function<bool(QPoint)> isInside, std::function<void()> onOutsideClick) {
  stop();
  isInside_ = std::move(isInside);
  onOutsideClick_ = std::move(onOutsideClick);
  armed_ = true;
  ++arming_;
  qApp->installEventFilter(this);
  stateConnection_ = connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                             &OutsideClickMonitor::applicationStateChanged);
}

void OutsideClickMonitor::stop() {
  if (!armed_) return;
  armed_ = false;
  qApp->removeEventFilter(this);
  disconnect(stateConnection_);
  isInside_ = nullptr;
  onOutsideClick_ = nullptr;
}

void OutsideClickMonitor::applicationStateChanged(Qt::ApplicationState state) {
  if (state == Qt::ApplicationActive || !armed_) return;
  // Another program took the focus: close on a later turn, never inside the focus change.
  const quint64 arming = arming_;
  QTimer::singleShot(0, this, [this, arming] { closeAfterRelease(arming); });
}

void OutsideClickMonitor::closeAfterRelease(quint64 arming) {
  if (!armed_ || arming != arming_) return;
  if (buttonsDown_ && buttonsDown_()) {
    QTimer::singleShot(releasePollMilliseconds_, this, [this, arming] { closeAfterRelease(arming); });
    return;
  }
  if (auto close = onOutsideClick_) close();
}

bool OutsideClickMonitor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress || !armed_ || !qobject_cast<QWindow*>(watched)) return false;
  const auto* press = static_cast<QMouseEvent*>(event);
  if (press->button() != Qt::LeftButton && press->button() != Qt::RightButton) return false;
  if (isInside_ && isInside_(press->globalPosition().toPoint())) return false;
  if (auto close = onOutsideClick_) close();
  return false;
}

}  // namespace tavrel
