#pragma once

// Threading and callbacks follow the model written down in "transfer/upload_engine.h": called on
// the main thread, completion posted back to it exactly once, never inside the call.

#include <functional>
#include <stop_token>
#include <variant>

#include "transfer/cancelled.h"
#include "transfer/prepared_transfer.h"
#include "transfer/transfer_defaults.h"
#include "transfer/transfer_preparation_error.h"
#include "transfer/transfer_selection.h"

namespace tavrel {

using PreparationOutcome = std::variant<PreparedTransfer, TransferPreparationError, Cancelled>;

// Turns a selection into a prepared transfer, off the main thread.
class TransferFilePreparing {
 public:
  using Completion = std::function<void(PreparationOutcome)>;

  virtual ~TransferFilePreparing() = default;

  // Walks and checks the selection's files and stamps `defaults` on the result.
  virtual void prepare(TransferSelection selection, TransferDefaults defaults, std::stop_token stop,
                       Completion onPrepared) = 0;
};

}  // namespace tavrel
