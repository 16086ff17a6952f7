#pragma once

#include <filesystem>
#include <unordered_set>
#include <variant>
#include <vector>

#include "platform/expected.h"
#include "transfer/transfer_feature_state.h"
#include "transfer/transfer_preparation_error.h"
#include "transfer/upload_engine.h"

namespace tavrel {

// The requests the transfer store understands, one struct per request.
namespace transfer_action {

// Replace a review whose preparation failed (or that waits for a retry) by newly picked items.
struct ChooseDifferentItems {
  TransferStartPolicy startPolicy = TransferStartPolicy::automatic;
};
// Put these paths under review (the store's own chooser panel sends it).
struct SelectedURLs {
  std::vector<std::filesystem::path> urls;
  TransferStartPolicy startPolicy = TransferStartPolicy::requiresReview;
};
// Queue these paths as a new item (dropped files, the item picker).
struct EnqueueURLs {
  std::vector<std::filesystem::path> urls;
  TransferStartPolicy startPolicy = TransferStartPolicy::automatic;
};
// Queue handed-over paths as a new item.
struct EnqueueSubmission {
  TransferSubmission submission;
};
// Cancel a queued, failed, reviewed or uploading item.
struct CancelTransfer {
  TransferItemID id;
};
// Queue a failed item again.
struct RetryTransfer {
  TransferItemID id;
};
// Report of a preparation pass.
struct ReviewPreparationFinished {
  TransferItemID id;
  ReviewPreparationID preparationID;
  platform::Expected<PreparedTransfer, TransferPreparationError> result;
};
// Progress or completion of an upload run.
struct UploadEvent {
  TransferItemID id;
  UploadRunID runID;
  ::tavrel::UploadEvent event;
};
// Failure of an upload run.
struct UploadFailed {
  TransferItemID id;
  UploadRunID runID;
  UploadError error;
};
// The engine finished discarding the item's remote transfer.
struct UploadCleanupFinished {
  TransferItemID id;
};
// Stop the running upload.
struct AbortUpload {
  TransferAbortDestination destination = TransferAbortDestination::idle;
};
// The interface has shown these terminal signals.
struct AcknowledgeTerminalSignals {
  std::unordered_set<TransferItemID> ids;
};
struct OpenChooser {};
struct CloseChooser {};
struct ChooseFiles {};
struct ChooseFolder {};
struct ChooseItems {};
struct CancelSelection {};
struct ClearSelection {};
struct StartTransfer {};
struct RetryFailedTransfer {};
struct CopyLink {};
struct CopyFeedbackExpired {};
struct ViewTransferSettings {};
struct ViewTransfer {};
struct DismissCompletedTransfer {};
struct StartNewTransfer {};
// The user is no longer signed in: stop everything.
struct AuthenticationEnded {};

}  // namespace transfer_action

// The only input of the transfer store. The order of the cases is fixed.
using TransferAction = std::variant<
    transfer_action::ChooseDifferentItems, transfer_action::SelectedURLs, transfer_action::EnqueueURLs,
    transfer_action::EnqueueSubmission, transfer_action::CancelTransfer, transfer_action::RetryTransfer,
    transfer_action::ReviewPreparationFinished, transfer_action::UploadEvent, transfer_action::UploadFailed,
    transfer_action::UploadCleanupFinished, transfer_action::AbortUpload, transfer_action::AcknowledgeTerminalSignals,
    transfer_action::OpenChooser, transfer_action::CloseChooser, transfer_action::ChooseFiles,
    transfer_action::ChooseFolder, transfer_action::ChooseItems, transfer_action::CancelSelection,
    transfer_action::ClearSelection, transfer_action::StartTransfer, transfer_action::RetryFailedTransfer,
    transfer_action::CopyLink, transfer_action::CopyFeedbackExpired, transfer_action::ViewTransferSettings,
    transfer_action::ViewTransfer, transfer_action::DismissCompletedTransfer, transfer_action::StartNewTransfer,
    transfer_action::AuthenticationEnded>;

static_assert(std::variant_size_v<TransferAction> == 28);

// Whether the action starts or adds work, and so needs an account that may send.
bool requiresTransferPermission(const TransferAction& action);

}  // namespace tavrel
