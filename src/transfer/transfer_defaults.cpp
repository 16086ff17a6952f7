#include "transfer/transfer_defaults.h"

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

}  // namespace tavrel
