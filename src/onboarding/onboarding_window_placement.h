#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>
#include <vector>

namespace tavrel {

// Where the onboarding window goes, as pure functions of the screens so they are tested on
// simulated displays. Screens come in the desktop's order; rectangles are in desktop coordinates.
struct ScreenArea {
  QRectF frame;         // the whole screen
  QRectF visibleFrame;  // without panels and docks
};

// The screen under the pointer: the first whose frame holds it, else the primary screen, else the
// first screen; none without screens.
std::optional<std::size_t> screenUnderPointer(QPointF pointer, const std::vector<ScreenArea>& screens,
                                              std::optional<std::size_t> primary);

// The top-left corner that centres a window of `windowSize` in `visibleFrame`.
QPointF centredOrigin(QSizeF windowSize, const QRectF& visibleFrame);

// Where a window being shown goes: centred on the visible frame of the screen under the pointer;
// none when there is no screen (the desktop then places it).
std::optional<QPointF> placementOnShow(QSizeF windowSize, QPointF pointer, const std::vector<ScreenArea>& screens,
                                       std::optional<std::size_t> primary);

// Whether the user can still reach the window: some screen's visible frame overlaps it by at least
// 120 by 120.
bool isReachable(const QRectF& windowFrame, const std::vector<ScreenArea>& screens);

inline constexpr double kReachableOverlap = 120;

}  // namespace tavrel
