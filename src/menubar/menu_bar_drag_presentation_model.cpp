#include "menubar/menu_bar_drag_presentation_model.h"

namespace tavrel {

void MenuBarDragPresentationModel::setDropTargeted(bool targeted) {
  if (isDropTargeted_ == targeted) return;
  isDropTargeted_ = targeted;
  emit dropTargetedChanged();
}

QString MenuBarDragPresentationModel::revealedTransferIDText() const {
  return revealedTransferID_ ? QString::fromStdString(revealedTransferID_->toString()) : QString();
}

void MenuBarDragPresentationModel::setRevealedTransferID(std::optional<TransferItemID> id) {
  if (revealedTransferID_ == id) return;
  revealedTransferID_ = id;
  emit revealedTransferChanged();
}

}  // namespace tavrel
