#pragma once

// The island's texts and figures, derived from the transfer and sign-in states. Pure functions.

#include <cstdint>
#include <string>

#include "records/account_models.h"
#include "transfer/formatting.h"
#include "transfer/transfer_feature_state.h"

namespace tavrel {

// The whole percent the island shows for an upload's fraction: floor(min(p, 1) × 100), held to
// 0...100 (a fraction at or below zero, or no number at all, reads 0).
int islandUploadPercent(double progress);

// The fraction the bar and ring draw: 0...1.
double clampedUploadFraction(double progress);


// "Calculating..." while the rate is below one byte per second, else the remaining time.
std::string uploadTimeLeftText(const UploadProgressSnapshot& progress);

// The file being uploaded, when the snapshot's index points at one.
const TransferFile* currentUploadFile(const UploadProgressSnapshot& progress);

// "1 day", "7 days".
std::string expiryText(int days);

// The sign-in situation the island states in place of the transfer views.
struct IslandAuthenticationStatus {
  std::string symbol;  // empty: none
  bool showsProgress = false;
  std::string text;
  std::string accessibilityLabel;
};
IslandAuthenticationStatus islandAuthenticationStatus(const AuthenticationState& state);

// The compact review line.
struct CompactReviewStatus {
  enum class Icon { progress, warning, ready };
  Icon icon = Icon::progress;
  std::string text;
};
CompactReviewStatus compactReviewStatus(const TransferReviewState& review);

// The review page's name, problem and size texts.
std::string reviewDisplayName(const TransferReviewState& review);
std::optional<std::string> reviewProblemMessage(const TransferReviewState& review);
std::string reviewSizeText(const TransferReviewState& review);
std::string reviewStartHint(const TransferReviewState& review);
// "Image, beach.png", "Folder, Photos".
std::string itemCardAccessibilityLabel(const SelectedTransferItem& item);

// Review carousel geometry: the last index that can sit at the leading edge.
inline constexpr double carouselItemWidth = 90;
inline constexpr double carouselItemSpacing = 8;
int carouselLastScrollIndex(int itemCount, double carouselWidth);

}  // namespace tavrel
