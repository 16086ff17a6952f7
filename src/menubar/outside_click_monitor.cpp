#include "menubar/outside_click_monitor.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace tavrel {

OutsideClickMonitor::OutsideClickMonitor(QObject* parent) : QObject(parent) {}

OutsideClickMonitor::~OutsideClickMonitor() { stop(); }

void OutsideClickMonitor::start(std::function<bool(QPoint)> isInside, std::function<void()> onOutsideClick) {
  stop();
  isInside_ = std::move(isInside);
  onOutsideClick_ = std::move(onOutsideClick);
  armed_ = true;
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
  QTimer::singleShot(0, this, [this, self = QPointer<OutsideClickMonitor>(this)] {
    if (!self || !armed_) return;
    if (auto close = onOutsideClick_) close();
  });
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
