#pragma once

// Threading and callbacks follow the model written down in "transfer/upload_engine.h": called on
// the main thread, completion posted back to it exactly once, never inside the call.

#include <functional>
#include <stop_token>
#include <variant>
#include <vector>

#include "records/access_token_providing.h"
#include "records/transfer_service_records.h"
#include "transfer/cancelled.h"

namespace tavrel {

// A token that could not be had fails the load with the token provider's own error, unchanged.
using RecentTransfersOutcome = std::variant<std::vector<RecentTransfer>, TransferAPIError, AccessTokenError, Cancelled>;

// The service's list of recent transfers.
class RecentTransfersAPI {
 public:
  using Completion = std::function<void(RecentTransfersOutcome)>;

  virtual ~RecentTransfersAPI() = default;

  // The entries in the order the service sent them, or the client's error.
  virtual void recentTransfers(std::stop_token stop, Completion onLoaded) = 0;
};

}  // namespace tavrel
