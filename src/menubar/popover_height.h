#pragma once

// The popover's size from what it will show: the controller sizes the window by it and the view
// frames its content by it, so the two always agree.

#include <cstddef>

#include "transfer/transfer_feature_state.h"

namespace tavrel {

inline constexpr int popoverWidth = 320;
inline constexpr int popoverMaximumHeight = 360;

struct PopoverHeightInputs {
  bool canInitiateTransfer = false;
  std::size_t activityCount = 0;  // rows of the activity list
  std::size_t recentCount = 0;    // rows of the recent list
  bool showsRecentPlaceholder = false;  // the recent list's loading or error placeholder
};

// 148 for an account that may not send and has nothing to list; rows of 60 (activity) and 52
// (recent) under section headers of 28 and the 44-point header, at most 360; otherwise 270.
int popoverContentHeight(const PopoverHeightInputs& inputs);

// The inputs for a transfer state. Each activity row counts once: the current item only while it
// is neither queued nor listed as a failure, so a failed review or a completed phase adds nothing.
PopoverHeightInputs popoverHeightInputs(const TransferFeatureState& state, bool canInitiateTransfer,
                                        std::size_t recentCount, bool showsRecentPlaceholder);

}  // namespace tavrel
