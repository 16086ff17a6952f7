#pragma once

#include <QObject>

#include "island/island_presentation.h"

namespace tavrel {

// Whether the island is expanded and whether an acceptable drag hovers over it; shared by the
// panel's controller, its drag destination and its views.
//
// IMPORTANT: Thread-safety. Main thread only.
class QuickDropPresentationModel final : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool isExpanded READ isExpanded NOTIFY islandChanged)
  Q_PROPERTY(bool isDropTargeted READ isDropTargeted NOTIFY isDropTargetedChanged)

 public:
  explicit QuickDropPresentationModel(QObject* parent = nullptr);

  IslandPresentation island() const { return island_; }
  void setIsland(IslandPresentation island);
  bool isExpanded() const { return island_ == IslandPresentation::expanded; }
  bool isDropTargeted() const { return isDropTargeted_; }
  void setIsDropTargeted(bool isDropTargeted);

  // Compact, with no drop highlight: what hiding and collapsing leave behind.
  void reset();

 signals:
  void islandChanged();
  void isDropTargetedChanged();

 private:
  IslandPresentation island_ = IslandPresentation::compact;
  bool isDropTargeted_ = false;
};

}  // namespace tavrel
