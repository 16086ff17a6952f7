#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

enum class TransferRegion { na, eu };

// "na" and "eu"; any other text is no region.
std::optional<TransferRegion> transferRegionFromRawValue(std::string_view rawValue);
std::string_view rawValue(TransferRegion region);

// The settings every new transfer is created with.
struct TransferDefaults {
  int expiryDays = 0;
  TransferRegion region = TransferRegion::na;
  bool oneTimeDownload = false;
  bool isReviewEnabled = false;
  std::optional<std::string> reviewAccessType;  // passed through unchanged
  bool filePreviewEnabled = false;

  friend bool operator==(const TransferDefaults&, const TransferDefaults&) = default;
};

}  // namespace tavrel
