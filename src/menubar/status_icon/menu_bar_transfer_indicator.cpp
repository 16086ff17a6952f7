#include "menubar/status_icon/menu_bar_transfer_indicator.h"

#include <algorithm>
#include <cmath>

namespace tavrel {

menu_bar_indicator::Uploading menu_bar_indicator::uploading(int percentage) {
  return Uploading{std::clamp(percentage, 0, 100)};
}

int uploadPercentage(double fraction) {
  // The store promises a finite fraction; a NaN would otherwise pass every comparison below and
  // reach the integer conversion, which is undefined for it.
  if (!std::isfinite(fraction) || fraction <= 0) return 0;
  return std::clamp(static_cast<int>(std::floor(std::min(fraction, 1.0) * 100)), 0, 100);
}

namespace {

MenuBarTransferIndicator fromUnseenSignals(const TransferFeatureState& state,
                                           const std::unordered_set<TransferItemID>& acknowledged) {
  bool anyUnseen = false;
  for (const auto& signal : state.terminalSignals) {
    if (acknowledged.contains(signal.id)) continue;
    if (signal.outcome == TransferTerminalSignal::Outcome::failed) return menu_bar_indicator::Failed{};
    anyUnseen = true;
  }
  if (anyUnseen) return menu_bar_indicator::Completed{};
  return menu_bar_indicator::Idle{};
}

}  // namespace

MenuBarTransferIndicator menuBarTransferIndicator(
    const TransferFeatureState& state,
    const std::unordered_set<TransferItemID>& acknowledgedTerminalSignalIDs) {
  if (const auto* upload = activeUpload(state.phase)) {
    return menu_bar_indicator::Uploading{uploadPercentage(upload->progress.progress)};
  }
  if (const auto* review = reviewState(state.phase)) {
    if (std::holds_alternative<review_preparation::Calculating>(review->preparation)) {
      return menu_bar_indicator::Preparing{};
    }
    // A ready preparation always holds a transfer to show. A review that resumes a failed upload
    // tells of the failure instead, through the signals below.
    if (std::holds_alternative<review_preparation::Ready>(review->preparation) &&
        !review->hasRetryPreparedTransfer()) {
      return menu_bar_indicator::Ready{};
    }
  }
  return fromUnseenSignals(state, acknowledgedTerminalSignalIDs);
}

std::string describe(const MenuBarTransferIndicator& indicator) {
  struct Describer {
    std::string operator()(const menu_bar_indicator::Uploading& uploading) const {
      return "uploading(" + std::to_string(uploading.percentage) + ")";
    }
    std::string operator()(const menu_bar_indicator::Idle&) const { return "idle"; }
    std::string operator()(const menu_bar_indicator::Preparing&) const { return "preparing"; }
    std::string operator()(const menu_bar_indicator::Ready&) const { return "ready"; }
    std::string operator()(const menu_bar_indicator::Failed&) const { return "failed"; }
    std::string operator()(const menu_bar_indicator::Completed&) const { return "completed"; }
  };
  return std::visit(Describer{}, indicator);
}

}  // namespace tavrel
