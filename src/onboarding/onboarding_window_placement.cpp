#include "onboarding/onboarding_window_placement.h"

namespace tavrel {

std::optional<std::size_t> screenUnderPointer(QPointF pointer, const std::vector<ScreenArea>& screens,
                                              std::optional<std::size_t> primary) {
  for (std::size_t index = 0; index < screens.size(); ++index) {
    if (screens[index].frame.contains(pointer)) return index;
  }
  if (primary && *primary < screens.size()) return primary;
  if (!screens.empty()) return 0;
  return std::nullopt;
}

QPointF centredOrigin(QSizeF windowSize, const QRectF& visibleFrame) {
  return {visibleFrame.center().x() - windowSize.width() / 2, visibleFrame.center().y() - windowSize.height() / 2};
}

std::optional<QPointF> placementOnShow(QSizeF windowSize, QPointF pointer, const std::vector<ScreenArea>& screens,
                                       std::optional<std::size_t> primary) {
  const auto screen = screenUnderPointer(pointer, screens, primary);
  if (!screen) return std::nullopt;
  return centredOrigin(windowSize, screens[*screen].visibleFrame);
}

bool isReachable(const QRectF& windowFrame, const std::vector<ScreenArea>& screens) {
  for (const auto& screen : screens) {
    const auto overlap = windowFrame.intersected(screen.visibleFrame);
    if (overlap.width() >= kReachableOverlap && overlap.height() >= kReachableOverlap) return true;
  }
  return false;
}

}  // namespace tavrel
