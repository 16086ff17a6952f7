#include "island/quick_drop_presentation_model.h"

namespace tavrel {

QuickDropPresentationModel::QuickDropPresentationModel(QObject* parent) : QObject(parent) {}

void QuickDropPresentationModel::setIsland(IslandPresentation island) {
  if (island_ == island) return;
  island_ = island;
  emit islandChanged();
}

void QuickDropPresentationModel::setIsDropTargeted(bool isDropTargeted) {
  if (isDropTargeted_ == isDropTargeted) return;
  isDropTargeted_ = isDropTargeted;
  emit isDropTargetedChanged();
}

void QuickDropPresentationModel::reset() {
  setIsland(IslandPresentation::compact);
  setIsDropTargeted(false);
}

}  // namespace tavrel
