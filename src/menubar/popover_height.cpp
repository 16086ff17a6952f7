#include "menubar/popover_height.h"

#include <algorithm>

namespace tavrel {

int popoverContentHeight(const PopoverHeightInputs& inputs) {
  constexpr int header = 44;
  constexpr int sectionHeader = 28;
  constexpr int activityRow = 60;
  constexpr int recentRow = 52;
  const auto recent = static_cast<int>(inputs.recentCount);
  const auto activity = static_cast<int>(inputs.activityCount);
  if (!inputs.canInitiateTransfer && activity == 0 && recent == 0 && !inputs.showsRecentPlaceholder) return 148;
  const int recentSection = recent > 0 ? recentRow * recent + sectionHeader : 0;
  if (activity > 0) {
    return std::min(activityRow * activity + sectionHeader + recentSection + header, popoverMaximumHeight);
  }
  if (recent > 0) return std::min(recentSection + header, popoverMaximumHeight);
  return 270;
}

PopoverHeightInputs popoverHeightInputs(const TransferFeatureState& state, bool canInitiateTransfer,
                                        std::size_t recentCount, bool showsRecentPlaceholder) {
  return {canInitiateTransfer, state.allItemIDs().size(), recentCount, showsRecentPlaceholder};
}

}  // namespace tavrel
