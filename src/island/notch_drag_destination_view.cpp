#include "island/notch_drag_destination_view.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMouseEvent>

namespace tavrel {

NotchDragDestinationView::NotchDragDestinationView(QQuickItem* parent) : QQuickItem(parent) {
  setFlag(ItemAcceptsDrops, true);
  setAcceptedMouseButtons(Qt::LeftButton);
}

void NotchDragDestinationView::setDestination(NotchDragDestination* destination) {
  if (destination_ == destination) return;
  destination_ = destination;
  emit destinationChanged();
  emit islandFrameChanged();
}

QRectF NotchDragDestinationView::islandFrame() const {
  return destination_ ? destination_->islandFrame(size()) : QRectF();
}

void NotchDragDestinationView::press() {
  if (destination_) destination_->click();
}

bool NotchDragDestinationView::contains(const QPointF& point) const { return islandFrame().contains(point); }

void NotchDragDestinationView::update(QDropEvent* event) {
  // The enter is always taken so that the drag keeps coming here as it moves into the island;
  // the action says whether it would be copied.
  const bool copies = destination_ && destination_->dragUpdate(event->position(), size(), event->mimeData());
  event->setDropAction(copies ? Qt::CopyAction : Qt::IgnoreAction);
  event->accept();
}

void NotchDragDestinationView::dragEnterEvent(QDragEnterEvent* event) { update(event); }

void NotchDragDestinationView::dragMoveEvent(QDragMoveEvent* event) { update(event); }

void NotchDragDestinationView::dragLeaveEvent(QDragLeaveEvent*) {
  if (destination_) destination_->dragExited();
}

void NotchDragDestinationView::dropEvent(QDropEvent* event) {
  const bool taken = destination_ && destination_->performDrop(event->position(), size(), event->mimeData());
  event->setDropAction(taken ? Qt::CopyAction : Qt::IgnoreAction);
  event->setAccepted(taken);
}

void NotchDragDestinationView::mousePressEvent(QMouseEvent* event) { event->accept(); }

void NotchDragDestinationView::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (destination_ && islandFrame().contains(event->position())) destination_->click();
}

void NotchDragDestinationView::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
  QQuickItem::geometryChange(newGeometry, oldGeometry);
  emit islandFrameChanged();
}

}  // namespace tavrel
