#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "transfer/transfer_identities.h"

namespace tavrel {

// The drag and reveal state the controller shares with the popover: whether a valid file drag is
// over the tray icon's popover (the drop overlay shows), and which activity row to scroll to
// after a reveal.
//
// IMPORTANT: Thread-safety. Main thread only.
class MenuBarDragPresentationModel final : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool isDropTargeted READ isDropTargeted NOTIFY dropTargetedChanged)
  Q_PROPERTY(QString revealedTransferID READ revealedTransferIDText NOTIFY revealedTransferChanged)

 public:
  explicit MenuBarDragPresentationModel(QObject* parent = nullptr) : QObject(parent) {}

  bool isDropTargeted() const { return isDropTargeted_; }
  void setDropTargeted(bool targeted);

  const std::optional<TransferItemID>& revealedTransferID() const { return revealedTransferID_; }
  QString revealedTransferIDText() const;
  void setRevealedTransferID(std::optional<TransferItemID> id);

 signals:
  void dropTargetedChanged();
  void revealedTransferChanged();

 private:
  bool isDropTargeted_ = false;
  std::optional<TransferItemID> revealedTransferID_;
};

}  // namespace tavrel
