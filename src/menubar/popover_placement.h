#pragma once

#include <QRect>
#include <QSize>
#include <optional>

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

// Where the popover goes on the screen whose whole area is `screen` and whose work area is
// `available`: beside `anchor` when there is one (the icon's rectangle, or the last click on it);
// before the icon's place is known, in the corner of the work area by the panel that holds the
// tray, never under the pointer, which may rest on the very files the user wants to drop.
//
// That panel is found by the edge it reserves, where the work area falls short of the screen:
// top-right under a top panel (and with none reserved), bottom-right above a bottom one, top-left
// beside a left one alone. A horizontal panel counts before a side one (a dock), a top one before
// a bottom one.
QRect popoverPlacement(const std::optional<QRect>& anchor, QSize size, const QRect& screen, const QRect& available);

}  // namespace tavrel
