#include "menubar/popover_placement.h"

#include <algorithm>

namespace tavrel {
namespace {

constexpr int anchorGap = 4;

// `start` held so that [start, start + length) stays inside [low, high]; the low end wins when
// the length does not fit.
int clampSpan(int start, int length, int low, int high) {
  return std::max(low, std::min(start, high + 1 - length));
}

}  // namespace

QRect popoverPlacement(const QRect& anchor, QSize size, const QRect& available) {
  QPoint topLeft;
  if (anchor.right() < available.left() || anchor.left() > available.right()) {
    // A vertical panel: beside it, level with the icon.
    const bool onLeft = anchor.right() < available.left();
    topLeft.setX(onLeft ? anchor.right() + 1 + anchorGap : anchor.left() - anchorGap - size.width());
    topLeft.setY(anchor.y() + anchor.height() / 2 - size.height() / 2);
  } else {
    const bool below = anchor.y() + anchor.height() / 2 < available.y() + available.height() / 2;
    topLeft.setX(anchor.x() + anchor.width() / 2 - size.width() / 2);
    topLeft.setY(below ? anchor.bottom() + 1 + anchorGap : anchor.top() - anchorGap - size.height());
  }
  topLeft.setX(clampSpan(topLeft.x(), size.width(), available.left(), available.right()));
  topLeft.setY(clampSpan(topLeft.y(), size.height(), available.top(), available.bottom()));
  return QRect(topLeft, size);
}

}  // namespace tavrel
