#pragma once

#include <string>
#include <unordered_set>
#include <variant>

#include "transfer/transfer_feature_state.h"
#include "transfer/transfer_identities.h"

namespace tavrel {

// What the status icon shows, in the order the cases are listed.
namespace menu_bar_indicator {
struct Uploading {
  int percentage = 0;  // 0 to 100
  friend bool operator==(const Uploading&, const Uploading&) = default;
};
struct Idle {
  friend bool operator==(const Idle&, const Idle&) = default;
};
struct Preparing {
  friend bool operator==(const Preparing&, const Preparing&) = default;
};
struct Ready {
  friend bool operator==(const Ready&, const Ready&) = default;
};
struct Failed {
  friend bool operator==(const Failed&, const Failed&) = default;
};
struct Completed {
  friend bool operator==(const Completed&, const Completed&) = default;
};

// An upload at `percentage`, held to 0 to 100.
Uploading uploading(int percentage);
}  // namespace menu_bar_indicator

using MenuBarTransferIndicator =
    std::variant<menu_bar_indicator::Uploading, menu_bar_indicator::Idle, menu_bar_indicator::Preparing,
                 menu_bar_indicator::Ready, menu_bar_indicator::Failed, menu_bar_indicator::Completed>;

// The indicator for a transfer state, given the terminal signals the user has already seen (by
// opening the popover). An unseen failure outranks any number of unseen completions.
MenuBarTransferIndicator menuBarTransferIndicator(
    const TransferFeatureState& state,
    const std::unordered_set<TransferItemID>& acknowledgedTerminalSignalIDs);

// The whole percentage shown for an upload's progress fraction: floor of the fraction in hundredths,
// held to 0 to 100. A fraction that is not a number or infinite shows 0, never a full ring.
int uploadPercentage(double fraction);

// "uploading(42)", "idle", ...: for logs and test failures.
std::string describe(const MenuBarTransferIndicator& indicator);

}  // namespace tavrel
