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

QRect popoverPlacement(const std::optional<QRect>& anchor, QSize size, const QRect& screen, const QRect& available) {
  if (anchor) return popoverPlacement(*anchor, size, available);
  const bool top = available.top() > screen.top();
  const bool bottom = available.bottom() < screen.bottom();
  const bool left = available.left() > screen.left();
  // A top panel wins over a bottom one, and either over a side panel (a dock): the tray sits in the
  // desktop's main panel, and its corner is on the right. Only a left panel alone leads left.
  const bool onBottom = bottom && !top;
  const bool onLeft = left && !top && !bottom && available.right() == screen.right();
  QPoint topLeft(onLeft ? available.left() + anchorGap : available.right() + 1 - anchorGap - size.width(),
                 onBottom ? available.bottom() + 1 - anchorGap - size.height() : available.top() + anchorGap);
  topLeft.setX(clampSpan(topLeft.x(), size.width(), available.left(), available.right()));
  topLeft.setY(clampSpan(topLeft.y(), size.height(), available.top(), available.bottom()));
  return QRect(topLeft, size);
}

}  // namespace tavrel
