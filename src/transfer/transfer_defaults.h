#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "records/account_models.h"

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

  // The defaults of the account's transfer settings; none when their region is not one we know.
  // Review switched on implies file previews.
  static std::optional<TransferDefaults> fromBootstrapDefaults(const AppBootstrap::TransferSettings::Defaults& defaults);

  friend bool operator==(const TransferDefaults&, const TransferDefaults&) = default;
};

}  // namespace tavrel
