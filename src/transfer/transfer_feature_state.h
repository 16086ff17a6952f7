#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/translatable_text.h"
#include "transfer/completed_transfer.h"
#include "transfer/prepared_transfer.h"
#include "transfer/transfer_defaults.h"
#include "transfer/transfer_identities.h"
#include "transfer/transfer_selection.h"
#include "transfer/upload_progress_snapshot.h"

namespace tavrel {

enum class TransferStartPolicy {
  automatic,       // the upload starts as soon as preparation succeeds
  requiresReview,  // the prepared transfer waits in review until started
};

enum class TransferAbortDestination {
  idle,    // stop the upload and drop the item
  review,  // stop the upload and return to its review
};

enum class TransferFailureStage { preparation, upload };

enum class LinkFeedback { idle, copied };

namespace review_preparation {
struct Calculating {
  ReviewPreparationID id;  // the pass under way
  friend bool operator==(const Calculating&, const Calculating&) = default;
};
struct Ready {
  PreparedTransfer preparedTransfer;
  friend bool operator==(const Ready&, const Ready&) = default;
};
struct Failed {
  std::string message;  // the error's user-facing text
  friend bool operator==(const Failed&, const Failed&) = default;
};
}  // namespace review_preparation

using TransferReviewPreparation =
    std::variant<review_preparation::Calculating, review_preparation::Ready, review_preparation::Failed>;

// The current item while it is prepared, shown for review, or waits for a retry after a failed upload.
struct TransferReviewState {
  TransferSelection selection;
  TransferStartPolicy startPolicy = TransferStartPolicy::requiresReview;
  std::optional<TransferSourceAccessID> sourceAccessID;
  TransferReviewPreparation preparation;
  std::optional<std::string> errorMessage;  // of the item's last failed upload
  // Set after a failed upload: what a start resumes instead of uploading afresh.
  std::optional<PreparedTransfer> retryPreparedTransfer;
  std::optional<UploadRunID> failedUploadRunID;

  bool hasRetryPreparedTransfer() const { return retryPreparedTransfer.has_value(); }
  // The retry-prepared transfer, else the one a ready preparation holds.
  std::optional<PreparedTransfer> displayedPreparedTransfer() const;
  // The selection's summary, with the prepared file count when it differs from the item count.
  std::string summaryText() const;
  std::optional<std::int64_t> preparedTotalBytes() const;

  friend bool operator==(const TransferReviewState&, const TransferReviewState&) = default;
};

struct ActiveUpload {
  UploadRunID runID;
  TransferStartPolicy startPolicy = TransferStartPolicy::automatic;
  std::optional<TransferSourceAccessID> sourceAccessID;
  UploadProgressSnapshot progress;  // its prepared transfer is the one being uploaded

  friend bool operator==(const ActiveUpload&, const ActiveUpload&) = default;
};

namespace transfer_phase {
struct Reviewing {
  TransferReviewState review;
  friend bool operator==(const Reviewing&, const Reviewing&) = default;
};
struct Uploading {
  ActiveUpload upload;
  friend bool operator==(const Uploading&, const Uploading&) = default;
};
struct Completed {
  CompletedTransfer transfer;
  friend bool operator==(const Completed&, const Completed&) = default;
};
struct Idle {
  friend bool operator==(const Idle&, const Idle&) = default;
};
struct Choosing {
  friend bool operator==(const Choosing&, const Choosing&) = default;
};
}  // namespace transfer_phase

// What the feature is doing with its current item.
using TransferPhase = std::variant<transfer_phase::Reviewing, transfer_phase::Uploading, transfer_phase::Completed,
                                   transfer_phase::Idle, transfer_phase::Choosing>;

// The payload of a phase, or null when the phase is another one.
const TransferReviewState* reviewState(const TransferPhase& phase);
TransferReviewState* reviewState(TransferPhase& phase);
const ActiveUpload* activeUpload(const TransferPhase& phase);
const CompletedTransfer* completedTransfer(const TransferPhase& phase);
inline bool isIdle(const TransferPhase& phase) { return std::holds_alternative<transfer_phase::Idle>(phase); }
inline bool isChoosing(const TransferPhase& phase) { return std::holds_alternative<transfer_phase::Choosing>(phase); }

struct TransferPresentationState {
  bool isFilePickerPresented = false;  // an open panel started by the store is showing
  LinkFeedback linkFeedback = LinkFeedback::idle;
  std::optional<TransferItemID> copiedLinkTransferID;  // whose link was copied last

  friend bool operator==(const TransferPresentationState&, const TransferPresentationState&) = default;
};

struct QueuedTransfer {
  TransferItemID id;
  TransferSelection selection;
  TransferStartPolicy startPolicy = TransferStartPolicy::automatic;
  TransferDefaults defaults;  // the settings taken when the item was queued
  std::optional<TransferSourceAccessID> sourceAccessID;

  friend bool operator==(const QueuedTransfer&, const QueuedTransfer&) = default;
};

struct RecoverableTransferFailure {
  TransferItemID id;
  TransferFailureStage stage = TransferFailureStage::preparation;
  std::string message;
  std::string title;
  std::string topLevelCountDescription;
  std::optional<int> totalFileCount;
  std::optional<std::int64_t> totalBytes;
  TransferDefaults defaults;
  TransferStartPolicy startPolicy = TransferStartPolicy::automatic;
  std::optional<TransferSelection> retrySelection;  // none: cannot be retried
  std::optional<UploadRunID> runID;
  std::optional<TransferSourceAccessID> sourceAccessID;

  // The messages of handed-over items gone before they were sent, before the first item's name
  // and the count of the others are filled in.
  static constexpr const char* unavailableItemPattern =
      TAVREL_TRANSLATE_NOOP("Core", "“%1” was moved or deleted after it was shared.");
  static constexpr const char* unavailableItemsPattern =
      TAVREL_TRANSLATE_NOOP("Core", "“%1” and %2 more were moved or deleted after they were shared.");

  friend bool operator==(const RecoverableTransferFailure&, const RecoverableTransferFailure&) = default;
};

// An item that finished, until the interface acknowledges it.
struct TransferTerminalSignal {
  enum class Outcome { completed, failed };

  TransferItemID id;
  std::optional<UploadRunID> runID;  // none for a failed preparation
  Outcome outcome = Outcome::completed;

  friend bool operator==(const TransferTerminalSignal&, const TransferTerminalSignal&) = default;
};

// Paths handed to the store from outside, with the access that keeps them readable.
struct TransferSubmission {
  std::vector<std::filesystem::path> urls;
  TransferStartPolicy startPolicy = TransferStartPolicy::automatic;
  std::optional<TransferSourceAccessID> sourceAccessID;

  friend bool operator==(const TransferSubmission&, const TransferSubmission&) = default;
};

// The transfer store's published state.
struct TransferFeatureState {
  TransferPhase phase = transfer_phase::Idle{};
  std::optional<TransferItemID> currentTransferID;
  std::vector<QueuedTransfer> queue;                    // oldest first
  std::vector<RecoverableTransferFailure> failures;     // oldest first, one per item
  std::vector<TransferTerminalSignal> terminalSignals;  // oldest first, one per item
  TransferPresentationState presentation;

  // The newest failure of that run; failures without a run never match.
  std::optional<RecoverableTransferFailure> failure(const UploadRunID& runID) const;
  // The current item while it is reviewed or uploaded and is neither queued nor listed as a failure.
  std::optional<TransferItemID> activeTransferID() const;
  bool hasActivity() const;
  // The rows of the activity list: the active item, the queue in order, then the failures newest first.
  std::vector<TransferItemID> allItemIDs() const;

  friend bool operator==(const TransferFeatureState&, const TransferFeatureState&) = default;
};

}  // namespace tavrel
