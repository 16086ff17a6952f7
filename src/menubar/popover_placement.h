#pragma once

#include <QRect>
#include <QSize>

namespace tavrel {

// Where the popover's window of `size` goes beside `anchor` (the tray icon's rectangle, or the
// pointer as a 1 x 1 rectangle), inside `available` (the screen's area without its panels).
//
// The side follows the anchor, not the size, so the window never jumps across the icon while it
// grows: below an anchor in the upper half of the area, above one in the lower half (its bottom
// edge stays put and it grows upward), and beside an anchor left or right of the area (a vertical
// panel). Centred on the anchor along the panel, and always inside `available`; a window larger
// than the area keeps its top-left corner in it.
QRect popoverPlacement(const QRect& anchor, QSize size, const QRect& available);

}  // namespace tavrel
