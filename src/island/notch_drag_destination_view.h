#pragma once

#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

#include "island/notch_drag_destination.h"

namespace tavrel {

// The island panel's content item: hosts the island's views, takes file drags and clicks over the
// island and lets everything else through (presses elsewhere find no item here).
class NotchDragDestinationView : public QQuickItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(tavrel::NotchDragDestination* destination READ destination WRITE setDestination NOTIFY destinationChanged)
  Q_PROPERTY(QRectF islandFrame READ islandFrame NOTIFY islandFrameChanged)

 public:
  explicit NotchDragDestinationView(QQuickItem* parent = nullptr);

  NotchDragDestination* destination() const { return destination_; }
  void setDestination(NotchDragDestination* destination);
  QRectF islandFrame() const;
  // Tells the view that the island's size may have changed.
  Q_INVOKABLE void refreshFrame() { emit islandFrameChanged(); }
  // The accessibility press.
  Q_INVOKABLE void press();

  bool contains(const QPointF& point) const override;

 signals:
  void destinationChanged();
  void islandFrameChanged();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

 private:
  void update(QDropEvent* event);

  QPointer<NotchDragDestination> destination_;
};

}  // namespace tavrel
