#pragma once

// The one owner of the transfer feature's state. It drives every transfer from choosing through
// review, queueing, upload, failure, resume and completion.
//
// IMPORTANT: Thread-safety. The store lives on the main thread; construct it, call it and destroy
// it there. Its services answer through the main queue (see "transfer/upload_engine.h"), and
// every answer comes back into the store as a new action tagged with the item, preparation pass or
// run it belongs to; answers for work that is no longer current are dropped, and cancelled work
// reports nothing. Callbacks hold the store weakly: answers that arrive after it is gone are
// dropped.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <unordered_set>

#include "platform/logger.h"
#include "platform/main_queue.h"
#include "platform/observable.h"
#include "transfer/application_links.h"
#include "transfer/clipboard_writing.h"
#include "transfer/external_link_opening.h"
#include "transfer/transfer_action.h"
#include "transfer/transfer_clock.h"
#include "transfer/transfer_feature_state.h"
#include "transfer/transfer_file_picking.h"
#include "transfer/transfer_file_preparing.h"
#include "transfer/transfer_notifying.h"
#include "transfer/upload_engine.h"

namespace tavrel {

class TransferStore {
 public:
  struct Services {
    std::shared_ptr<TransferFilePreparing> filePreparer;
    std::shared_ptr<UploadEngine> uploadEngine;
    std::shared_ptr<TransferFilePicking> filePicker;
    std::shared_ptr<ExternalLinkOpening> linkOpener;
    std::shared_ptr<ClipboardWriting> clipboard;
    std::shared_ptr<TransferNotifying> transferNotifier;
    ApplicationLinks applicationLinks;
    std::shared_ptr<TransferClock> clock;
  };

  // Answered synchronously on the main thread; they must be cheap.
  struct Closures {
    // The account's current settings for a new transfer.
    std::function<TransferDefaults()> transferDefaults;
    // Whether the signed-in account may start or add transfers.
    std::function<bool()> canInitiateTransfer;
    // Told of every completed transfer.
    std::function<void(const CompletedTransfer&)> onCompletedTransfer;
    // Told once when the store no longer needs a handed-over access.
    std::function<void(const TransferSourceAccessID&)> onSourceAccessReleased;
    // Fresh identities; both default to a new random UUID per call.
    std::function<UploadRunID()> makeRunID;
    std::function<TransferItemID()> makeTransferItemID;
  };

  TransferStore(platform::MainQueue& mainQueue, Services services, Closures closures);
  // Cancels the store's running work; late answers are dropped.
  ~TransferStore();
  TransferStore(const TransferStore&) = delete;
  TransferStore& operator=(const TransferStore&) = delete;

  const TransferFeatureState& state() const { return published_.value(); }
  // Delivers the current state at once, then every change.
  [[nodiscard]] platform::Subscription subscribe(std::function<void(const TransferFeatureState&)> observer,
                                                 platform::Delivery delivery = platform::Delivery::everyChange);

  // The only way to change the state. Runs the action's handler at once; the published state has
  // changed when it returns. An action sent while another is being handled (from an observer)
  // runs right after it, before the outer send returns. Actions that would start or add work are
  // dropped while the account may not send; a dropped submission hands its access back.
  void send(TransferAction action);

  // Sign-out: stops the running work, returns to the initial state and releases every access at
  // once, and asks the engine to discard its transfer. `onFinished` runs on the main thread once the
  // engine has; work begun meanwhile (a new session's) is left alone.
  void shutDownForSignOut(std::function<void()> onFinished = {});

  void setOnSourceAccessReleased(std::function<void(const TransferSourceAccessID&)> onSourceAccessReleased);

 private:
  struct UploadCleanup {
    TransferItemID id;
    UploadRunID runID;  // the run whose remote transfer is discarded
  };
  using Weak = std::weak_ptr<TransferStore*>;

  // Runs work with the store's state open for change, then publishes; nested calls queue up.
  void perform(std::function<void()> work);
  void dispatch(const TransferAction& action);
  void publish();

  // Handlers.
  void handle(const transfer_action::ChooseDifferentItems& action);
  void handle(const transfer_action::SelectedURLs& action);
  void handle(const transfer_action::EnqueueURLs& action);
  void handle(const transfer_action::EnqueueSubmission& action);
  void handle(const transfer_action::CancelTransfer& action);
  void handle(const transfer_action::RetryTransfer& action);
  void handle(const transfer_action::ReviewPreparationFinished& action);
  void handle(const transfer_action::UploadEvent& action);
  void handle(const transfer_action::UploadFailed& action);
  void handle(const transfer_action::UploadCleanupFinished& action);
  void handle(const transfer_action::AbortUpload& action);
  void handle(const transfer_action::AcknowledgeTerminalSignals& action);
  void handle(const transfer_action::OpenChooser&);
  void handle(const transfer_action::CloseChooser&);
  void handle(const transfer_action::ChooseFiles&);
  void handle(const transfer_action::ChooseFolder&);
  void handle(const transfer_action::ChooseItems&);
  void handle(const transfer_action::CancelSelection&);
  void handle(const transfer_action::ClearSelection&);
  void handle(const transfer_action::StartTransfer&);
  void handle(const transfer_action::RetryFailedTransfer&);
  void handle(const transfer_action::CopyLink&);
  void handle(const transfer_action::CopyFeedbackExpired&);
  void handle(const transfer_action::ViewTransferSettings&);
  void handle(const transfer_action::ViewTransfer&);
  void handle(const transfer_action::DismissCompletedTransfer&);
  void handle(const transfer_action::StartNewTransfer&);
  void handle(const transfer_action::AuthenticationEnded&);

  // Shared operations.
  void chooseItems(TransferStartPolicy startPolicy);
  // Resumes the failed review's transfer when it can (and `mayResume`); otherwise queues the item
  // to be prepared and uploaded afresh.
  void retryTransfer(const TransferItemID& id, bool mayResume = true);
  // Whether the failure is that of the failed review on screen, whose transfer the engine keeps.
  bool isResumableFailure(const RecoverableTransferFailure& failure) const;
  void completeRun(const TransferItemID& id, const UploadRunID& runID, const CompletedTransfer& completed);
  void endCurrentItem(TransferPhase phase);
  void clearCurrentItem();
  void advanceQueue();
  void scheduleUploadCleanup(const TransferItemID& id, const UploadRunID& runID);
  void cleanUpCancelledRun(const TransferItemID& id, const UploadRunID& runID);
  void startUploadCleanup(const UploadCleanup& cleanup);
  bool isCleanupPending(const TransferItemID& id) const;
  bool isPhaseOf(const UploadCleanup& cleanup) const;
  void discardEngineTransfer();
  void recordFailure(RecoverableTransferFailure failure);
  // A failure row and a failure notification for handed-over items that are gone.
  void recordUnavailableItems(const std::vector<std::filesystem::path>& urls, TransferStartPolicy startPolicy);
  void appendTerminalSignal(TransferTerminalSignal signal);
  void removeFailures(const TransferItemID& id);
  void resetPresentation();
  void reset();
  void releaseUnreferencedSourceAccess();

  // Tasks.
  void startReviewPreparation(const TransferItemID& id, const ReviewPreparationID& preparationID,
                              const TransferSelection& selection, const TransferDefaults& defaults);
  void startUploadRun(const TransferItemID& id, const UploadRunID& runID, UploadEngineInput input, bool resume);
  void startFilePicker(TransferFilePickerRequest request, TransferStartPolicy startPolicy, bool forReview);
  void finishFilePicker(std::optional<std::vector<std::filesystem::path>> urls, TransferStartPolicy startPolicy,
                        bool forReview);
  static void cancel(std::optional<std::stop_source>& task);

  platform::MainQueue& mainQueue_;
  Services services_;
  Closures closures_;
  platform::Logger logger_{"com.tavrel.desktop", "TransferStore"};

  TransferFeatureState state_;  // the value handlers change; published after each action
  platform::Observable<TransferFeatureState> published_;

  std::optional<std::stop_source> reviewPreparationTask_;
  std::optional<std::stop_source> uploadTask_;
  std::optional<std::stop_source> filePickerTask_;
  std::optional<platform::DelayedTask> feedbackTask_;

  // At most one clean-up runs; while it does, the queue does not advance. Clean-ups of cancelled
  // runs that come in meanwhile wait their turn instead of being dropped.
  std::optional<UploadCleanup> uploadCleanup_;
  std::deque<UploadCleanup> waitingCleanups_;
  // The last run started as a resume of the engine's transfer.
  std::optional<UploadRunID> resumingRunID_;
  // Where the last failed run stood by its last report (what storage holds: a run's attempts have
  // all ended when it reports its failure). A resume of it starts from these figures, not from
  // zero: the engine reports nothing before the service has said what it holds.
  struct FailedRunFigures {
    UploadRunID runID;
    std::int64_t bytesUploaded = 0;
    double progress = 0.0;
    std::optional<int> currentFileIndex;
  };
  std::optional<FailedRunFigures> failedRunFigures_;

  std::optional<TransferDefaults> currentTransferDefaults_;
  bool currentDefaultsAreSnapshot_ = false;
  std::unordered_set<TransferSourceAccessID> registeredSourceAccessIDs_;

  std::deque<std::function<void()>> pendingWork_;
  bool performing_ = false;

  std::shared_ptr<TransferStore*> lifetime_;
};

}  // namespace tavrel
