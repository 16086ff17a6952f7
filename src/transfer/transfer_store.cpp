#include "transfer/transfer_store.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/posix_files.h"
#include "records/api_url.h"
#include "transfer/formatting.h"

namespace tavrel {
namespace {

constexpr auto copyFeedbackDuration = std::chrono::seconds(2);

// The ready review an upload goes back to when it fails or is aborted to its review.
TransferReviewState readyReviewOf(const ActiveUpload& upload) {
  const PreparedTransfer& transfer = upload.progress.preparedTransfer;
  TransferReviewState review;
  review.selection = transfer.sourceSelection;
  review.startPolicy = upload.startPolicy;
  review.sourceAccessID = upload.sourceAccessID;
  review.preparation = review_preparation::Ready{transfer};
  return review;
}

UploadProgressSnapshot startingSnapshot(const PreparedTransfer& transfer) {
  UploadProgressSnapshot snapshot;
  snapshot.preparedTransfer = transfer;
  snapshot.bytesUploaded = 0;
  snapshot.bytesPerSecond = 0;
  snapshot.progress = 0.0;
  snapshot.currentFileIndex = 0;
  return snapshot;
}

template <typename Entries, typename Predicate>
void eraseWhere(Entries& entries, Predicate predicate) {
  entries.erase(std::remove_if(entries.begin(), entries.end(), predicate), entries.end());
}

}  // namespace

TransferStore::TransferStore(platform::MainQueue& mainQueue, Services services, Closures closures)
    : mainQueue_(mainQueue),
      services_(std::move(services)),
      closures_(std::move(closures)),
      lifetime_(std::make_shared<TransferStore*>(this)) {
  if (!closures_.makeRunID) closures_.makeRunID = [] { return UploadRunID::generate(); };
  if (!closures_.makeTransferItemID) closures_.makeTransferItemID = [] { return TransferItemID::generate(); };
  if (!closures_.transferDefaults) closures_.transferDefaults = [] { return TransferDefaults{}; };
  if (!closures_.canInitiateTransfer) closures_.canInitiateTransfer = [] { return false; };
}

TransferStore::~TransferStore() {
  lifetime_.reset();
  cancel(reviewPreparationTask_);
  cancel(uploadTask_);
  cancel(filePickerTask_);
  if (feedbackTask_) feedbackTask_->cancel();
}

platform::Subscription TransferStore::subscribe(std::function<void(const TransferFeatureState&)> observer,
                                                platform::Delivery delivery) {
  return published_.subscribe(std::move(observer), delivery);
}

void TransferStore::setOnSourceAccessReleased(
    std::function<void(const TransferSourceAccessID&)> onSourceAccessReleased) {
  closures_.onSourceAccessReleased = std::move(onSourceAccessReleased);
}

void TransferStore::send(TransferAction action) {
  perform([this, action = std::move(action)] { dispatch(action); });
}

void TransferStore::perform(std::function<void()> work) {
  pendingWork_.push_back(std::move(work));
  if (performing_) return;
  performing_ = true;
  // A throwing closure must not leave the store refusing every later action.
  struct Done {
    TransferStore& store;
    ~Done() {
      store.performing_ = false;
      store.pendingWork_.clear();
    }
  } done{*this};
  while (!pendingWork_.empty()) {
    auto next = std::move(pendingWork_.front());
    pendingWork_.pop_front();
    next();
    publish();
  }
}

void TransferStore::publish() {
  if (!(state_ == published_.value())) published_.set(state_);
}

void TransferStore::dispatch(const TransferAction& action) {
  if (requiresTransferPermission(action) && !closures_.canInitiateTransfer()) {
    if (const auto* enqueue = std::get_if<transfer_action::EnqueueSubmission>(&action)) {
      if (enqueue->submission.sourceAccessID && closures_.onSourceAccessReleased) {
        closures_.onSourceAccessReleased(*enqueue->submission.sourceAccessID);
      }
    }
    return;
  }
  std::visit([this](const auto& request) { handle(request); }, action);
  releaseUnreferencedSourceAccess();
}

// ---- Choosing, selection and review ----

void TransferStore::handle(const transfer_action::OpenChooser&) {
  if (!isIdle(state_.phase) || !state_.queue.empty()) return;
  resetPresentation();
  state_.phase = transfer_phase::Choosing{};
}

void TransferStore::handle(const transfer_action::CloseChooser&) {
  if (!isChoosing(state_.phase)) return;
  endCurrentItem(transfer_phase::Idle{});
  advanceQueue();
}

void TransferStore::handle(const transfer_action::ChooseFiles&) {
  if (!isChoosing(state_.phase)) return;
  cancel(filePickerTask_);
  state_.presentation.isFilePickerPresented = true;
  startFilePicker(TransferFilePickerRequest::files, TransferStartPolicy::requiresReview, true);
}

void TransferStore::handle(const transfer_action::ChooseFolder&) {
  if (!isChoosing(state_.phase)) return;
  cancel(filePickerTask_);
  state_.presentation.isFilePickerPresented = true;
  startFilePicker(TransferFilePickerRequest::folder, TransferStartPolicy::requiresReview, true);
}

void TransferStore::handle(const transfer_action::ChooseItems&) { chooseItems(TransferStartPolicy::automatic); }

void TransferStore::chooseItems(TransferStartPolicy startPolicy) {
  if (state_.presentation.isFilePickerPresented) return;
  cancel(filePickerTask_);
  state_.presentation.isFilePickerPresented = true;
  startFilePicker(TransferFilePickerRequest::items, startPolicy, false);
}

void TransferStore::handle(const transfer_action::ChooseDifferentItems& action) {
  const TransferReviewState* review = reviewState(state_.phase);
  if (!review) return;
  const bool failed = std::holds_alternative<review_preparation::Failed>(review->preparation);
  if (!failed && !review->hasRetryPreparedTransfer()) return;
  cancel(reviewPreparationTask_);
  if (review->hasRetryPreparedTransfer() && state_.currentTransferID) {
    // The review stays until the engine has discarded its remote transfer; the queue moves on then.
    if (review->failedUploadRunID) scheduleUploadCleanup(*state_.currentTransferID, *review->failedUploadRunID);
  } else {
    clearCurrentItem();
    state_.phase = transfer_phase::Idle{};
  }
  chooseItems(action.startPolicy);
}

void TransferStore::handle(const transfer_action::SelectedURLs& action) {
  const TransferReviewState* review = reviewState(state_.phase);
  if (activeUpload(state_.phase) || completedTransfer(state_.phase)) return;
  if (review && (review->startPolicy != TransferStartPolicy::requiresReview ||
                 action.startPolicy != TransferStartPolicy::requiresReview || review->hasRetryPreparedTransfer())) {
    return;
  }
  auto chosen = TransferSelection::fromURLs(action.urls);
  if (!chosen) return;

  TransferSelection selection;
  TransferDefaults defaults;
  if (review) {
    selection = review->selection.merging(*chosen);
    if (const auto* ready = std::get_if<review_preparation::Ready>(&review->preparation)) {
      defaults = ready->preparedTransfer.defaults;
    } else {
      defaults = closures_.transferDefaults();
    }
  } else {
    selection = std::move(*chosen);
    defaults = closures_.transferDefaults();
    state_.currentTransferID = closures_.makeTransferItemID();
  }
  if (!state_.currentTransferID) return;
  const TransferItemID id = *state_.currentTransferID;

  removeFailures(id);
  cancel(reviewPreparationTask_);
  const ReviewPreparationID preparationID = ReviewPreparationID::generate();
  if (!state_.queue.empty() && state_.queue.front().id == id) state_.queue.erase(state_.queue.begin());

  TransferReviewState next;
  next.selection = selection;
  next.startPolicy = action.startPolicy;
  next.preparation = review_preparation::Calculating{preparationID};
  state_.phase = transfer_phase::Reviewing{std::move(next)};
  state_.presentation = TransferPresentationState{};

  currentTransferDefaults_ = defaults;
  currentDefaultsAreSnapshot_ = false;
  startReviewPreparation(id, preparationID, selection, defaults);
}

void TransferStore::handle(const transfer_action::ReviewPreparationFinished& action) {
  TransferReviewState* review = reviewState(state_.phase);
  if (!review || state_.currentTransferID != action.id) return;
  const auto* calculating = std::get_if<review_preparation::Calculating>(&review->preparation);
  if (!calculating || calculating->id != action.preparationID) return;
  reviewPreparationTask_.reset();

  if (!action.result) {
    const std::string message = action.result.error().localizedDescription();
    review->preparation = review_preparation::Failed{message};

    RecoverableTransferFailure failure;
    failure.id = action.id;
    failure.stage = TransferFailureStage::preparation;
    failure.message = message;
    failure.title = review->selection.items.empty() ? "Untitled Transfer" : review->selection.items.front().displayName;
    failure.topLevelCountDescription = review->selection.summaryText();
    failure.defaults = currentTransferDefaults_ ? *currentTransferDefaults_ : closures_.transferDefaults();
    failure.startPolicy = review->startPolicy;
    failure.retrySelection = review->selection;
    failure.sourceAccessID = review->sourceAccessID;
    recordFailure(std::move(failure));
    appendTerminalSignal({action.id, std::nullopt, TransferTerminalSignal::Outcome::failed});

    if (!state_.queue.empty()) {
      clearCurrentItem();
      state_.phase = transfer_phase::Idle{};
      advanceQueue();
    }
    return;
  }

  const PreparedTransfer& prepared = action.result.value();
  if (review->startPolicy == TransferStartPolicy::requiresReview) {
    review->preparation = review_preparation::Ready{prepared};
    return;
  }

  services_.transferNotifier->requestAuthorizationIfNeeded();
  const UploadRunID runID = closures_.makeRunID();
  ActiveUpload upload;
  upload.runID = runID;
  upload.startPolicy = TransferStartPolicy::automatic;
  upload.sourceAccessID = review->sourceAccessID;
  upload.progress = startingSnapshot(prepared);
  state_.phase = transfer_phase::Uploading{std::move(upload)};
  cancel(uploadTask_);
  startUploadRun(action.id, runID, UploadEngineInput{prepared}, false);
}

void TransferStore::handle(const transfer_action::EnqueueURLs& action) {
  auto selection = TransferSelection::fromURLs(action.urls);
  if (!selection) return;
  const TransferDefaults defaults = closures_.transferDefaults();
  state_.queue.push_back({closures_.makeTransferItemID(), std::move(*selection), action.startPolicy, defaults, std::nullopt});
  advanceQueue();
}

void TransferStore::handle(const transfer_action::EnqueueSubmission& action) {
  const TransferSubmission& submission = action.submission;
  // Handed-over files may go while the hand-off waits for a sign-in. What is left is sent; what is
  // gone becomes a failure the user sees, rather than voiding the whole hand-off in silence.
  std::vector<std::filesystem::path> missing;
  auto selection = TransferSelection::fromURLs(submission.urls, &missing);
  if (!missing.empty()) recordUnavailableItems(missing, submission.startPolicy);
  if (!selection) {
    if (submission.sourceAccessID && closures_.onSourceAccessReleased) {
      closures_.onSourceAccessReleased(*submission.sourceAccessID);
    }
    return;
  }
  if (submission.sourceAccessID) registeredSourceAccessIDs_.insert(*submission.sourceAccessID);
  const TransferDefaults defaults = closures_.transferDefaults();
  state_.queue.push_back({closures_.makeTransferItemID(), std::move(*selection), submission.startPolicy, defaults,
                          submission.sourceAccessID});
  advanceQueue();
}

void TransferStore::handle(const transfer_action::CancelTransfer& action) {
  const TransferItemID& id = action.id;
  auto queued = std::find_if(state_.queue.begin(), state_.queue.end(), [&](const auto& entry) { return entry.id == id; });
  if (queued != state_.queue.end()) {
    state_.queue.erase(queued);
    return;
  }
  if (state_.currentTransferID != id) {
    removeFailures(id);
    return;
  }
  if (const TransferReviewState* review = reviewState(state_.phase)) {
    cancel(reviewPreparationTask_);
    // A resumable transfer left on the service must not be resumed later as another item's.
    if (review->hasRetryPreparedTransfer() && !isCleanupPending(id)) discardEngineTransfer();
    removeFailures(id);
    clearCurrentItem();
    state_.phase = transfer_phase::Idle{};
    advanceQueue();
    return;
  }
  if (const ActiveUpload* upload = activeUpload(state_.phase)) {
    if (upload->progress.progress >= 1.0) return;
    removeFailures(id);
    cleanUpCancelledRun(id, upload->runID);
  }
}

void TransferStore::handle(const transfer_action::RetryTransfer& action) { retryTransfer(action.id); }

void TransferStore::retryTransfer(const TransferItemID& id, bool mayResume) {
  auto failure = std::find_if(state_.failures.begin(), state_.failures.end(), [&](const auto& entry) { return entry.id == id; });
  if (failure == state_.failures.end() || !failure->retrySelection) return;
  if (mayResume && isResumableFailure(*failure)) {
    // The engine still holds the failed run's transfer: send only what the service lacks. Should the
    // service refuse the resume, the run's failure uploads afresh (see UploadFailed).
    eraseWhere(state_.terminalSignals, [&](const auto& signal) { return signal.id == id; });
    handle(transfer_action::StartTransfer{});
    return;
  }
  if (state_.currentTransferID == id) {
    // Queueing an item the queue will not replace (it is uploading, or its failed review was
    // cleared into a plain one) would upload it twice under one identity.
    if (activeUpload(state_.phase)) return;
    const TransferReviewState* review = reviewState(state_.phase);
    if (review && !review->hasRetryPreparedTransfer() &&
        !std::holds_alternative<review_preparation::Failed>(review->preparation)) {
      return;
    }
  }
  QueuedTransfer queued{id, *failure->retrySelection, failure->startPolicy, failure->defaults, failure->sourceAccessID};
  removeFailures(id);
  eraseWhere(state_.terminalSignals, [&](const auto& signal) { return signal.id == id; });
  state_.queue.push_back(std::move(queued));
  advanceQueue();
}

bool TransferStore::isResumableFailure(const RecoverableTransferFailure& failure) const {
  if (failure.stage != TransferFailureStage::upload || !failure.runID) return false;
  if (state_.currentTransferID != failure.id || isCleanupPending(failure.id)) return false;
  const TransferReviewState* review = reviewState(state_.phase);
  return review && review->hasRetryPreparedTransfer() && review->failedUploadRunID == failure.runID;
}

void TransferStore::handle(const transfer_action::CancelSelection&) {
  const TransferReviewState* review = reviewState(state_.phase);
  if (!review || !state_.currentTransferID) return;
  cancel(reviewPreparationTask_);
  if (review->hasRetryPreparedTransfer()) discardEngineTransfer();
  removeFailures(*state_.currentTransferID);
  clearCurrentItem();
  state_.phase = transfer_phase::Idle{};
  resetPresentation();
  advanceQueue();
}

void TransferStore::handle(const transfer_action::ClearSelection&) {
  TransferReviewState* review = reviewState(state_.phase);
  if (!review) return;
  if (review->retryPreparedTransfer) {
    discardEngineTransfer();
    TransferReviewState plain;
    plain.selection = review->selection;
    plain.startPolicy = review->startPolicy;
    plain.sourceAccessID = review->sourceAccessID;
    plain.preparation = review_preparation::Ready{*review->retryPreparedTransfer};
    state_.phase = transfer_phase::Reviewing{std::move(plain)};
    return;
  }
  cancel(reviewPreparationTask_);
  resetPresentation();
  state_.phase = transfer_phase::Choosing{};
}

// ---- Upload runs and failures ----

void TransferStore::handle(const transfer_action::StartTransfer&) {
  if (!state_.currentTransferID) return;
  const TransferItemID id = *state_.currentTransferID;
  const TransferReviewState* review = reviewState(state_.phase);
  if (!review) return;
  // The engine is still discarding this item's transfer; a run started now would be ended by it.
  if (isCleanupPending(id)) return;

  const bool resume = review->hasRetryPreparedTransfer();
  PreparedTransfer transfer;
  if (resume) {
    transfer = *review->retryPreparedTransfer;
  } else if (const auto* ready = std::get_if<review_preparation::Ready>(&review->preparation)) {
    transfer = ready->preparedTransfer;
    if (!currentDefaultsAreSnapshot_) transfer.defaults = closures_.transferDefaults();
  } else {
    return;
  }
  // A resume shows what storage already holds from its first frame.
  std::optional<FailedRunFigures> resumedFrom;
  if (resume && failedRunFigures_ && review->failedUploadRunID == failedRunFigures_->runID) {
    resumedFrom = failedRunFigures_;
  }

  ActiveUpload upload;
  upload.startPolicy = review->startPolicy;
  upload.sourceAccessID = review->sourceAccessID;
  removeFailures(id);
  services_.transferNotifier->requestAuthorizationIfNeeded();
  upload.runID = closures_.makeRunID();
  upload.progress = startingSnapshot(transfer);
  if (resumedFrom) {
    upload.progress.bytesUploaded = resumedFrom->bytesUploaded;
    upload.progress.progress = resumedFrom->progress;
    upload.progress.currentFileIndex = resumedFrom->currentFileIndex;
  }
  const UploadRunID runID = upload.runID;
  state_.phase = transfer_phase::Uploading{std::move(upload)};
  cancel(uploadTask_);
  startUploadRun(id, runID, UploadEngineInput{std::move(transfer)}, resume);
}

// The review's retry is the failure row's retry of the same item. During the failed run's clean-up it
// only queues the item; no run can start before the clean-up has ended.
void TransferStore::handle(const transfer_action::RetryFailedTransfer&) {
  if (!state_.currentTransferID) return;
  retryTransfer(*state_.currentTransferID);
}

void TransferStore::handle(const transfer_action::UploadEvent& action) {
  auto* uploading = std::get_if<transfer_phase::Uploading>(&state_.phase);
  if (!uploading || state_.currentTransferID != action.id || uploading->upload.runID != action.runID) return;
  if (const auto* progress = std::get_if<upload_event::Progress>(&action.event)) {
    uploading->upload.progress = progress->snapshot;
    return;
  }
  completeRun(action.id, action.runID, std::get<upload_event::Completed>(action.event).transfer);
}

void TransferStore::handle(const transfer_action::UploadFailed& action) {
  const ActiveUpload* current = activeUpload(state_.phase);
  if (!current || state_.currentTransferID != action.id || current->runID != action.runID) return;
  const ActiveUpload upload = *current;
  uploadTask_.reset();
  logger_.error("Upload failed: {}", action.error.localizedDescription);
  // A resume the service refuses (it lost the transfer, or a file changed) is no failure of the
  // retry the user asked for: that goes on as a fresh upload.
  const bool uploadsAfresh = resumingRunID_ == action.runID && !action.error.resumable;

  failedRunFigures_ = FailedRunFigures{action.runID, upload.progress.bytesUploaded, upload.progress.progress,
                                       upload.progress.currentFileIndex};

  const PreparedTransfer& transfer = upload.progress.preparedTransfer;
  TransferReviewState review = readyReviewOf(upload);
  review.errorMessage = action.error.localizedDescription;
  review.retryPreparedTransfer = transfer;
  review.failedUploadRunID = action.runID;
  state_.phase = transfer_phase::Reviewing{std::move(review)};

  RecoverableTransferFailure failure;
  failure.id = action.id;
  failure.stage = TransferFailureStage::upload;
  failure.message = action.error.localizedDescription;
  failure.title = transfer.title;
  failure.topLevelCountDescription = transfer.sourceSelection.summaryText();
  failure.totalFileCount = static_cast<int>(transfer.files.size());
  failure.totalBytes = transfer.totalBytes();
  failure.defaults = transfer.defaults;
  failure.startPolicy = upload.startPolicy;
  failure.retrySelection = transfer.sourceSelection;
  failure.runID = action.runID;
  failure.sourceAccessID = upload.sourceAccessID;
  recordFailure(std::move(failure));
  if (uploadsAfresh) {
    logger_.info("The service cannot resume the transfer; it is sent afresh");
    retryTransfer(action.id, false);
    return;
  }
  appendTerminalSignal({action.id, action.runID, TransferTerminalSignal::Outcome::failed});
  services_.transferNotifier->notify(
      {TransferNotification::Outcome::failed, action.runID, transfer.title, std::nullopt});

  if (!state_.queue.empty()) scheduleUploadCleanup(action.id, action.runID);
}

void TransferStore::handle(const transfer_action::AbortUpload& action) {
  const ActiveUpload* current = activeUpload(state_.phase);
  if (!current || current->progress.progress >= 1.0) return;
  const ActiveUpload upload = *current;
  cancel(uploadTask_);

  if (action.destination == TransferAbortDestination::review) {
    discardEngineTransfer();
    // Discarded here, so a clean-up still waiting for this run has nothing left to do.
    if (state_.currentTransferID) {
      const TransferItemID id = *state_.currentTransferID;
      eraseWhere(waitingCleanups_, [&](const auto& cleanup) { return cleanup.id == id; });
    }
    state_.phase = transfer_phase::Reviewing{readyReviewOf(upload)};
    return;
  }
  if (!state_.currentTransferID) return;
  removeFailures(*state_.currentTransferID);
  cleanUpCancelledRun(*state_.currentTransferID, upload.runID);
}

// ---- Completion and link actions ----

void TransferStore::completeRun(const TransferItemID& id, const UploadRunID& runID, const CompletedTransfer& completed) {
  const ActiveUpload upload = *activeUpload(state_.phase);
  uploadTask_.reset();
  removeFailures(id);
  if (const auto& access = upload.sourceAccessID) {
    // Other items of the same handed-over files are done with, too.
    eraseWhere(state_.failures, [&](const auto& entry) { return entry.sourceAccessID == access; });
    eraseWhere(state_.queue, [&](const auto& entry) { return entry.sourceAccessID == access; });
  }
  appendTerminalSignal({id, runID, TransferTerminalSignal::Outcome::completed});
  if (closures_.onCompletedTransfer) closures_.onCompletedTransfer(completed);
  state_.phase = transfer_phase::Completed{completed};
  state_.presentation.linkFeedback = LinkFeedback::idle;
  state_.presentation.copiedLinkTransferID.reset();
  services_.transferNotifier->notify(
      {TransferNotification::Outcome::completed, runID, completed.preparedTransfer.title, completed.transferID});

  if (!state_.queue.empty()) {
    clearCurrentItem();
    state_.phase = transfer_phase::Idle{};
    advanceQueue();
  }
}

void TransferStore::handle(const transfer_action::CopyLink&) {
  const CompletedTransfer* completed = completedTransfer(state_.phase);
  // An empty slug is no link: its address would be the web application's home page.
  if (!completed || !completed->downloadSlug || completed->downloadSlug->empty()) return;
  services_.clipboard->write(services_.applicationLinks.downloadURL(*completed->downloadSlug).toString());
  if (feedbackTask_) feedbackTask_->cancel();
  state_.presentation.linkFeedback = LinkFeedback::copied;
  state_.presentation.copiedLinkTransferID = state_.currentTransferID;
  Weak weak = lifetime_;
  feedbackTask_ = mainQueue_.postDelayed(copyFeedbackDuration, [weak] {
    if (auto store = weak.lock()) (*store)->send(transfer_action::CopyFeedbackExpired{});
  });
}

void TransferStore::handle(const transfer_action::CopyFeedbackExpired&) {
  state_.presentation.linkFeedback = LinkFeedback::idle;
  state_.presentation.copiedLinkTransferID.reset();
}

void TransferStore::handle(const transfer_action::ViewTransferSettings&) {
  const platform::Url& home = services_.applicationLinks.webAppURL;
  const auto settings = apiURL(home, {"settings", "transfer"});
  services_.linkOpener->open(settings ? *settings : home);
}

void TransferStore::handle(const transfer_action::ViewTransfer&) {
  const CompletedTransfer* completed = completedTransfer(state_.phase);
  if (!completed || !completed->transferID || completed->transferID->empty()) return;
  services_.linkOpener->open(services_.applicationLinks.transferURL(*completed->transferID));
}

void TransferStore::handle(const transfer_action::DismissCompletedTransfer&) {
  if (!completedTransfer(state_.phase)) return;
  endCurrentItem(transfer_phase::Idle{});
  advanceQueue();
}

void TransferStore::handle(const transfer_action::StartNewTransfer&) {
  if (completedTransfer(state_.phase) || isIdle(state_.phase)) {
    endCurrentItem(transfer_phase::Choosing{});
    return;
  }
  const TransferReviewState* review = reviewState(state_.phase);
  if (!review) return;
  const bool failed = std::holds_alternative<review_preparation::Failed>(review->preparation);
  if (!failed && !review->hasRetryPreparedTransfer()) return;
  // The failure record stays and retries afresh; the resumable remote transfer must not linger.
  if (review->hasRetryPreparedTransfer() && !(state_.currentTransferID && isCleanupPending(*state_.currentTransferID))) {
    discardEngineTransfer();
  }
  endCurrentItem(transfer_phase::Choosing{});
}

// ---- Inline handlers, sign-out and reset ----

void TransferStore::handle(const transfer_action::UploadCleanupFinished& action) {
  if (!uploadCleanup_ || uploadCleanup_->id != action.id) return;
  const UploadCleanup finished = *uploadCleanup_;
  uploadCleanup_.reset();
  // Only the phase the clean-up was scheduled for ends: a review or run the user has since turned
  // into something else stays.
  if (state_.currentTransferID == finished.id && isPhaseOf(finished)) {
    clearCurrentItem();
    state_.phase = transfer_phase::Idle{};
  }
  while (!waitingCleanups_.empty()) {
    const UploadCleanup next = waitingCleanups_.front();
    waitingCleanups_.pop_front();
    // A cancelled run that has meanwhile been aborted to its review had its transfer discarded then.
    if (state_.currentTransferID == next.id && isPhaseOf(next)) {
      startUploadCleanup(next);
      return;
    }
  }
  advanceQueue();
}

void TransferStore::handle(const transfer_action::AcknowledgeTerminalSignals& action) {
  eraseWhere(state_.terminalSignals, [&](const auto& signal) { return action.ids.contains(signal.id); });
}

void TransferStore::handle(const transfer_action::AuthenticationEnded&) {
  cancel(reviewPreparationTask_);
  cancel(uploadTask_);
  discardEngineTransfer();
  reset();
}

void TransferStore::shutDownForSignOut(std::function<void()> onFinished) {
  // What the signed-out session left goes now. The engine's clean-up can take as long as a hung
  // delete; whatever the store holds once it ends belongs to a session signed in meanwhile and stays.
  perform([this] {
    reset();
    releaseUnreferencedSourceAccess();
  });
  Weak weak = lifetime_;
  services_.uploadEngine->discard([weak, onFinished = std::move(onFinished)] {
    auto store = weak.lock();
    if (!store || !onFinished) return;
    (*store)->perform(onFinished);
  });
}

void TransferStore::reset() {
  cancel(reviewPreparationTask_);
  cancel(uploadTask_);
  cancel(filePickerTask_);
  if (feedbackTask_) feedbackTask_->cancel();
  feedbackTask_.reset();
  uploadCleanup_.reset();
  waitingCleanups_.clear();
  resumingRunID_.reset();
  failedRunFigures_.reset();
  currentTransferDefaults_.reset();
  currentDefaultsAreSnapshot_ = false;
  state_ = TransferFeatureState{};
}

void TransferStore::releaseUnreferencedSourceAccess() {
  std::unordered_set<TransferSourceAccessID> referenced;
  for (const auto& entry : state_.queue) {
    if (entry.sourceAccessID) referenced.insert(*entry.sourceAccessID);
  }
  for (const auto& entry : state_.failures) {
    if (entry.sourceAccessID) referenced.insert(*entry.sourceAccessID);
  }
  if (const auto* review = reviewState(state_.phase); review && review->sourceAccessID) {
    referenced.insert(*review->sourceAccessID);
  }
  if (const auto* upload = activeUpload(state_.phase); upload && upload->sourceAccessID) {
    referenced.insert(*upload->sourceAccessID);
  }
  std::vector<TransferSourceAccessID> released;
  for (const auto& id : registeredSourceAccessIDs_) {
    if (!referenced.contains(id)) released.push_back(id);
  }
  for (const auto& id : released) registeredSourceAccessIDs_.erase(id);
  if (!closures_.onSourceAccessReleased) return;
  for (const auto& id : released) closures_.onSourceAccessReleased(id);
}

// ---- Shared operations ----

void TransferStore::clearCurrentItem() {
  state_.currentTransferID.reset();
  currentTransferDefaults_.reset();
  currentDefaultsAreSnapshot_ = false;
}

void TransferStore::endCurrentItem(TransferPhase phase) {
  cancel(reviewPreparationTask_);
  state_.phase = std::move(phase);
  clearCurrentItem();
  resetPresentation();
}

void TransferStore::resetPresentation() {
  cancel(filePickerTask_);
  if (feedbackTask_) feedbackTask_->cancel();
  feedbackTask_.reset();
  state_.presentation = TransferPresentationState{};
}

void TransferStore::advanceQueue() {
  if (uploadCleanup_ || state_.queue.empty()) return;
  if (activeUpload(state_.phase)) return;
  if (const TransferReviewState* review = reviewState(state_.phase)) {
    if (review->hasRetryPreparedTransfer()) {
      if (state_.currentTransferID) {
        // The failed run's remote transfer goes first; its clean-up advances the queue again.
        scheduleUploadCleanup(*state_.currentTransferID, review->failedUploadRunID.value_or(UploadRunID{}));
        return;
      }
    } else if (!std::holds_alternative<review_preparation::Failed>(review->preparation)) {
      return;
    }
  }
  // The user's pick from a presented chooser panel must not land on a queued item's review.
  if (isChoosing(state_.phase) && state_.presentation.isFilePickerPresented) return;

  QueuedTransfer next = std::move(state_.queue.front());
  state_.queue.erase(state_.queue.begin());
  cancel(reviewPreparationTask_);
  const ReviewPreparationID preparationID = ReviewPreparationID::generate();

  TransferReviewState review;
  review.selection = next.selection;
  review.startPolicy = next.startPolicy;
  review.sourceAccessID = next.sourceAccessID;
  review.preparation = review_preparation::Calculating{preparationID};
  state_.currentTransferID = next.id;
  state_.phase = transfer_phase::Reviewing{std::move(review)};
  state_.presentation = TransferPresentationState{};

  currentTransferDefaults_ = next.defaults;
  currentDefaultsAreSnapshot_ = true;
  startReviewPreparation(next.id, preparationID, next.selection, next.defaults);
}

void TransferStore::scheduleUploadCleanup(const TransferItemID& id, const UploadRunID& runID) {
  if (uploadCleanup_) return;
  cancel(uploadTask_);
  startUploadCleanup({id, runID});
}

void TransferStore::cleanUpCancelledRun(const TransferItemID& id, const UploadRunID& runID) {
  // The run stops now even when another clean-up holds the engine; its own clean-up follows that one.
  cancel(uploadTask_);
  if (!uploadCleanup_) {
    startUploadCleanup({id, runID});
    return;
  }
  if (uploadCleanup_->id == id) return;
  const bool waiting = std::any_of(waitingCleanups_.begin(), waitingCleanups_.end(),
                                   [&](const auto& cleanup) { return cleanup.id == id; });
  if (!waiting) waitingCleanups_.push_back({id, runID});
}

void TransferStore::startUploadCleanup(const UploadCleanup& cleanup) {
  uploadCleanup_ = cleanup;
  Weak weak = lifetime_;
  const TransferItemID id = cleanup.id;
  services_.uploadEngine->discard([weak, id] {
    if (auto store = weak.lock()) (*store)->send(transfer_action::UploadCleanupFinished{id});
  });
}

bool TransferStore::isCleanupPending(const TransferItemID& id) const {
  if (uploadCleanup_ && uploadCleanup_->id == id) return true;
  return std::any_of(waitingCleanups_.begin(), waitingCleanups_.end(),
                     [&](const auto& cleanup) { return cleanup.id == id; });
}

bool TransferStore::isPhaseOf(const UploadCleanup& cleanup) const {
  if (const ActiveUpload* upload = activeUpload(state_.phase)) return upload->runID == cleanup.runID;
  if (const TransferReviewState* review = reviewState(state_.phase)) {
    return review->failedUploadRunID == cleanup.runID;
  }
  return false;
}

void TransferStore::discardEngineTransfer() {
  services_.uploadEngine->discard([] {});
}

void TransferStore::recordFailure(RecoverableTransferFailure failure) {
  removeFailures(failure.id);
  state_.failures.push_back(std::move(failure));
}

void TransferStore::recordUnavailableItems(const std::vector<std::filesystem::path>& urls,
                                           TransferStartPolicy startPolicy) {
  std::string name = platform::lossyUTF8(standardizedFilePath(urls.front()).filename().string());
  if (name.empty()) name = "Untitled";
  const auto others = static_cast<std::int64_t>(urls.size()) - 1;
  RecoverableTransferFailure failure;
  failure.id = closures_.makeTransferItemID();
  failure.stage = TransferFailureStage::preparation;
  failure.message = others == 0 ? platform::fillText(RecoverableTransferFailure::unavailableItemPattern, {name})
                                : platform::fillText(RecoverableTransferFailure::unavailableItemsPattern,
                                                     {name, formatCompactCount(others, true)});
  failure.title = name;
  failure.topLevelCountDescription = formatCompactCount(others + 1, true) + (others == 0 ? " item" : " items");
  failure.defaults = closures_.transferDefaults();
  failure.startPolicy = startPolicy;
  // No run ever starts for them; the run identity lets the notification find its row.
  failure.runID = closures_.makeRunID();
  const UploadRunID runID = *failure.runID;
  const TransferItemID id = failure.id;
  logger_.error("Handed-over items are gone: {}", failure.message);
  recordFailure(failure);
  appendTerminalSignal({id, runID, TransferTerminalSignal::Outcome::failed});
  services_.transferNotifier->requestAuthorizationIfNeeded();
  services_.transferNotifier->notify({TransferNotification::Outcome::failed, runID, name, std::nullopt});
}

void TransferStore::appendTerminalSignal(TransferTerminalSignal signal) {
  eraseWhere(state_.terminalSignals, [&](const auto& entry) { return entry.id == signal.id; });
  state_.terminalSignals.push_back(std::move(signal));
}

void TransferStore::removeFailures(const TransferItemID& id) {
  eraseWhere(state_.failures, [&](const auto& entry) { return entry.id == id; });
}

// ---- Tasks ----

void TransferStore::cancel(std::optional<std::stop_source>& task) {
  if (task) task->request_stop();
  task.reset();
}

void TransferStore::startReviewPreparation(const TransferItemID& id, const ReviewPreparationID& preparationID,
                                           const TransferSelection& selection, const TransferDefaults& defaults) {
  std::stop_source task;
  reviewPreparationTask_ = task;
  Weak weak = lifetime_;
  const std::stop_token token = task.get_token();
  services_.filePreparer->prepare(selection, defaults, token, [weak, token, id, preparationID](PreparationOutcome outcome) {
    auto store = weak.lock();
    if (!store || token.stop_requested() || std::holds_alternative<Cancelled>(outcome)) return;
    if (auto* prepared = std::get_if<PreparedTransfer>(&outcome)) {
      (*store)->send(transfer_action::ReviewPreparationFinished{id, preparationID, std::move(*prepared)});
    } else {
      (*store)->send(transfer_action::ReviewPreparationFinished{
          id, preparationID, platform::unexpected(std::get<TransferPreparationError>(outcome))});
    }
  });
}

void TransferStore::startUploadRun(const TransferItemID& id, const UploadRunID& runID, UploadEngineInput input,
                                   bool resume) {
  std::stop_source task;
  uploadTask_ = task;
  if (resume) resumingRunID_ = runID;
  Weak weak = lifetime_;
  const std::stop_token token = task.get_token();
  // Events of a stopped run are still checked against the state: until its clean-up ends it, the
  // phase belongs to that run.
  auto onEvent = [weak, id, runID](const UploadEvent& event) {
    if (auto store = weak.lock()) (*store)->send(transfer_action::UploadEvent{id, runID, event});
  };
  // A stopped run reports nothing, whatever it ended with.
  auto onFinished = [weak, token, id, runID](UploadOutcome outcome) {
    auto store = weak.lock();
    if (!store || token.stop_requested()) return;
    if (auto* failed = std::get_if<upload_outcome::Failed>(&outcome)) {
      (*store)->send(transfer_action::UploadFailed{id, runID, failed->error});
    }
  };
  if (resume) {
    services_.uploadEngine->resume(std::move(input), token, std::move(onEvent), std::move(onFinished));
  } else {
    services_.uploadEngine->upload(std::move(input), token, std::move(onEvent), std::move(onFinished));
  }
}

void TransferStore::startFilePicker(TransferFilePickerRequest request, TransferStartPolicy startPolicy, bool forReview) {
  std::stop_source task;
  filePickerTask_ = task;
  Weak weak = lifetime_;
  const std::stop_token token = task.get_token();
  services_.filePicker->pickItems(
      request, token, [weak, token, startPolicy, forReview](std::optional<std::vector<std::filesystem::path>> urls) {
        auto store = weak.lock();
        if (!store || token.stop_requested()) return;
        TransferStore* self = *store;
        self->perform([self, urls = std::move(urls), startPolicy, forReview]() mutable {
          self->finishFilePicker(std::move(urls), startPolicy, forReview);
        });
      });
}

void TransferStore::finishFilePicker(std::optional<std::vector<std::filesystem::path>> urls,
                                     TransferStartPolicy startPolicy, bool forReview) {
  state_.presentation.isFilePickerPresented = false;
  filePickerTask_.reset();
  if (urls) {
    if (forReview) {
      dispatch(transfer_action::SelectedURLs{std::move(*urls), TransferStartPolicy::requiresReview});
    } else {
      dispatch(transfer_action::EnqueueURLs{std::move(*urls), startPolicy});
    }
  }
  // Items queued while the panel was showing waited for it; they go on now unless the pick took the slot.
  if (isChoosing(state_.phase) && !state_.presentation.isFilePickerPresented) {
    advanceQueue();
    releaseUnreferencedSourceAccess();
  }
}

}  // namespace tavrel
