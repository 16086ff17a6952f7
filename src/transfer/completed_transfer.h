#pragma once

#include <optional>
#include <string>

#include "records/transfer_service_records.h"
#include "transfer/prepared_transfer.h"

namespace tavrel {

// The result of a finished upload.
struct CompletedTransfer {
  PreparedTransfer preparedTransfer;
  std::optional<std::string> transferID;    // the service's transfer id
  std::optional<std::string> downloadSlug;  // the slug of the download link
  std::optional<RecentTransfer> recentTransfer;  // the service's list entry, when it sent one

  friend bool operator==(const CompletedTransfer&, const CompletedTransfer&) = default;
};

}  // namespace tavrel
