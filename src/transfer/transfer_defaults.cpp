#include "transfer/transfer_defaults.h"

#include <algorithm>
#include <limits>

namespace tavrel {

std::optional<TransferRegion> transferRegionFromRawValue(std::string_view rawValue) {
  if (rawValue == "na") return TransferRegion::na;
  if (rawValue == "eu") return TransferRegion::eu;
  return std::nullopt;
}

std::string_view rawValue(TransferRegion region) {
  switch (region) {
    case TransferRegion::na:
      return "na";
    case TransferRegion::eu:
      return "eu";
  }
  return "na";
}

std::optional<TransferDefaults> TransferDefaults::fromBootstrapDefaults(
    const AppBootstrap::TransferSettings::Defaults& defaults) {
  const auto region = transferRegionFromRawValue(defaults.region);
  if (!region) return std::nullopt;
  TransferDefaults result;
  result.expiryDays = static_cast<int>(std::clamp<std::int64_t>(defaults.expiryDays, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  result.region = *region;
  result.oneTimeDownload = defaults.oneTimeDownload;
  result.isReviewEnabled = defaults.isReviewEnabled;
  result.reviewAccessType = defaults.reviewAccessType;
  result.filePreviewEnabled = defaults.isReviewEnabled || defaults.filePreviewEnabled;
  return result;
}

}  // namespace tavrel
