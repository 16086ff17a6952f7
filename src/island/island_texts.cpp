#include "island/island_texts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "transfer/formatting.h"

namespace tavrel {
int islandUploadPercent(double progress) {
  if (!(progress > 0)) return 0;  // also a NaN
  return std::clamp(static_cast<int>(std::floor(std::min(progress, 1.0) * 100)), 0, 100);
}

double clampedUploadFraction(double progress) {
  if (!(progress > 0)) return 0;
  return std::min(progress, 1.0);
}


std::string uploadTimeLeftText(const UploadProgressSnapshot& progress) {
  if (progress.bytesPerSecond < 1) return "Calculating...";
  const auto remaining = std::max<std::int64_t>(progress.preparedTransfer->totalBytes() - progress.bytesUploaded, 0);
  return formatDuration(static_cast<double>(remaining) / static_cast<double>(progress.bytesPerSecond), false);
}

const TransferFile* currentUploadFile(const UploadProgressSnapshot& progress) {
  if (!progress.currentFileIndex) return nullptr;
  const int index = *progress.currentFileIndex;
  if (index < 0 || static_cast<std::size_t>(index) >= progress.preparedTransfer->files.size()) return nullptr;
  return &progress.preparedTransfer->files[static_cast<std::size_t>(index)];
}

std::string expiryText(int days) { return std::to_string(days) + (days == 1 ? " day" : " days"); }

IslandAuthenticationStatus islandAuthenticationStatus(const AuthenticationState& state) {
  namespace auth = authentication_state;
  if (std::holds_alternative<auth::SignedOut>(state)) return {"person.fill", false, "Sign In", "Sign in to Tavrel"};
  if (std::holds_alternative<auth::Authorizing>(state)) return {"rays", true, "Signing In", "Signing in to Tavrel"};
  if (std::holds_alternative<auth::Restoring>(state)) return {"rays", true, "Loading", "Restoring Tavrel sign in"};
  if (std::holds_alternative<auth::TemporarilyUnavailable>(state)) {
    return {"arrow.clockwise", false, "Retry", "Tavrel unavailable. Press to retry."};
  }
  if (!canInitiateTransfer(state)) {
    return {"exclamationmark.triangle.fill", false, "Sending Unavailable", "Sending is unavailable for this workspace"};
  }
  return {"", false, "", "Tavrel authenticated"};
}

CompactReviewStatus compactReviewStatus(const TransferReviewState& review) {
  if (std::holds_alternative<review_preparation::Calculating>(review.preparation)) {
    return {CompactReviewStatus::Icon::progress, "Preparing…"};
  }
  if (std::holds_alternative<review_preparation::Failed>(review.preparation) || review.hasRetryPreparedTransfer()) {
    return {CompactReviewStatus::Icon::warning, "Transfer failed"};
  }
  return {CompactReviewStatus::Icon::ready, "Ready to upload"};
}

std::string reviewDisplayName(const TransferReviewState& review) {
  if (review.selection.items.empty()) return "Untitled Transfer";
  return review.selection.items.front().displayName;
}

std::optional<std::string> reviewProblemMessage(const TransferReviewState& review) {
  if (review.errorMessage) return review.errorMessage;
  if (const auto* failed = std::get_if<review_preparation::Failed>(&review.preparation)) return failed->message;
  return std::nullopt;
}

std::string reviewSizeText(const TransferReviewState& review) {
  if (const auto total = review.preparedTotalBytes()) return formatFileSize(*total);
  if (std::holds_alternative<review_preparation::Calculating>(review.preparation)) return "Calculating...";
  return "—";
}

std::string reviewStartHint(const TransferReviewState& review) {
  if (std::holds_alternative<review_preparation::Calculating>(review.preparation)) {
    return "Wait for the selected files to finish calculating.";
  }
  return review.hasRetryPreparedTransfer() ? "Resumes the existing upload." : "Prepares and uploads the selected files.";
}

std::string itemCardAccessibilityLabel(const SelectedTransferItem& item) {
  std::string kind;
  switch (item.previewKind) {
    case TransferPreviewKind::image: kind = "Image"; break;
    case TransferPreviewKind::video: kind = "Video"; break;
    case TransferPreviewKind::none: kind = item.kind == TransferItemKind::folder ? "Folder" : "File"; break;
  }
  return kind + ", " + item.displayName;
}

int carouselLastScrollIndex(int itemCount, double carouselWidth) {
  if (carouselWidth <= 0 || itemCount < 2) return 0;
  const double content = itemCount * carouselItemWidth + (itemCount - 1) * carouselItemSpacing;
  const double overflow = std::max(content - carouselWidth, 0.0);
  const int steps = static_cast<int>(std::ceil(overflow / (carouselItemWidth + carouselItemSpacing)));
  return std::min(itemCount - 1, steps);
}

}  // namespace tavrel
