#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "account/authentication_store.h"
#include "island/notch_interaction.h"
#include "island/notch_layout_model.h"
#include "island/quick_drop_presentation_model.h"
#include "transfer/transfer_store.h"

class QMimeData;

namespace tavrel {

// What the island panel's content does with drags and clicks: it takes file drags that the
// transfer store could take now, only over the island itself, and reports what happens as
// interactions. It never changes transfer state itself.
//
// IMPORTANT: Thread-safety. Main thread only. The stores and models must outlive it.
class NotchDragDestination final : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the island's controller")

 public:
  NotchDragDestination(TransferStore& store, NotchLayoutModel& layout, QuickDropPresentationModel& presentation,
                       AuthenticationStore& authenticationStore, std::function<void(const NotchInteraction&)> onInteraction,
                       QObject* parent = nullptr);

  // The drag gate: whether the store could take dropped files in its current phase.
  bool acceptsDrops() const;
  // The island's rectangle in a content of `bounds`: centred, touching the top edge; empty while
  // the island has no size.
  QRectF islandFrame(QSizeF bounds) const;
  // Local file paths of a drag, in order; none unless every entry is a local file.
  static std::optional<std::vector<std::filesystem::path>> fileURLs(const QMimeData* data);

  // Drag entered or moved: whether it would be copied. Reports entering and leaving once each.
  bool dragUpdate(QPointF position, QSizeF bounds, const QMimeData* data);
  void dragExited();
  // Whether the drop was taken.
  bool performDrop(QPointF position, QSizeF bounds, const QMimeData* data);
  void click();

  bool validDragIsActive() const { return validDragIsActive_; }

 private:
  std::optional<std::vector<std::filesystem::path>> acceptableURLs(QPointF position, QSizeF bounds,
                                                                   const QMimeData* data) const;
  void endValidDrag();

  TransferStore& store_;
  NotchLayoutModel& layout_;
  QuickDropPresentationModel& presentation_;
  AuthenticationStore& authenticationStore_;
  std::function<void(const NotchInteraction&)> onInteraction_;
  bool validDragIsActive_ = false;
};

}  // namespace tavrel
