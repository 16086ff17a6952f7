#pragma once

#include <QRectF>
#include <QSizeF>

namespace tavrel {

// Where the island sits: the screen that carries it, whether that screen has a camera cut-out in
// its top edge, how wide the cut-out is, the compact island's size and its offset from the top.
struct NotchGeometry {
  QRectF screenFrame;
  bool hasNotch = false;
  double notchGapWidth = 0;
  QSizeF compactSize;
  double topOffset = 0;

  friend bool operator==(const NotchGeometry&, const NotchGeometry&) = default;
};

}  // namespace tavrel
