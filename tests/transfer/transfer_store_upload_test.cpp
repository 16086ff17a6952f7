#include "transfer_store_fixture.h"

namespace tavrel::testing {
namespace {

using namespace transfer_action;
using namespace std::chrono_literals;

using TransferStoreUploadTest = TransferStoreTest;

// ---- Failures, resume and retry ----

TEST_F(TransferStoreUploadTest, AFailedRunBecomesAResumableReviewWithARecordASignalAndANotification) {
  const auto access = TransferSourceAccessID::generate();
  const auto id = submit("a.txt", access);
  settle();
  preparer->succeed();
  settle();
  const UploadRunID run = upload().runID;
  const PreparedTransfer uploaded = upload().progress.preparedTransfer;
  engine->fail("The network went away.");
  settle();

  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_EQ(review().errorMessage, "The network went away.");
  EXPECT_EQ(review().retryPreparedTransfer, uploaded);
  EXPECT_EQ(review().failedUploadRunID, run);
  EXPECT_EQ(review().sourceAccessID, access);

  ASSERT_EQ(state().failures.size(), 1u);
  const auto& failure = state().failures[0];
  EXPECT_EQ(failure.stage, TransferFailureStage::upload);
  EXPECT_EQ(failure.title, "a.txt");
  EXPECT_EQ(failure.totalFileCount, 1);
  EXPECT_EQ(failure.totalBytes, 100);
  EXPECT_EQ(failure.runID, run);
  EXPECT_EQ(failure.retrySelection, uploaded.sourceSelection);
  EXPECT_EQ(state().failure(run), failure);

  EXPECT_EQ(state().terminalSignals.back(), (TransferTerminalSignal{id, run, TransferTerminalSignal::Outcome::failed}));
  ASSERT_EQ(notifier->notifications.size(), 1u);
  EXPECT_EQ(notifier->notifications[0],
            (TransferNotification{TransferNotification::Outcome::failed, run, "a.txt", std::nullopt}));
  EXPECT_EQ(engine->discardCount(), 0u);  // nothing queued: the transfer waits for a resume
  EXPECT_TRUE(released.empty());
}

TEST_F(TransferStoreUploadTest, StartingAFailedReviewResumesWithTheOriginalDefaults) {
  failUploading("a.txt");
  defaults.expiryDays = 30;
  send(StartTransfer{});
  ASSERT_EQ(engine->runs().size(), 2u);
  EXPECT_TRUE(engine->lastRun().isResume);
  EXPECT_EQ(engine->lastRun().input.preparedTransfer.defaults.expiryDays, 7);
  EXPECT_TRUE(state().failures.empty());
  EXPECT_NE(upload().runID, runIDs.front());
}

// "Retry transfer" on the failed review's own row sends only what the service lacks: the engine's
// transfer is resumed, not discarded and sent again.
TEST_F(TransferStoreUploadTest, RetryingTheCurrentFailureResumesItsTransfer) {
  const auto id = failUploading("a.txt");
  send(RetryTransfer{id});
  EXPECT_EQ(engine->discardCount(), 0u);
  ASSERT_EQ(engine->runs().size(), 2u);
  EXPECT_TRUE(engine->lastRun().isResume);
  EXPECT_EQ(engine->lastRun().input, engine->runs()[0].input);
  EXPECT_EQ(preparer->requests().size(), 1u);
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_NE(upload().runID, runIDs.front());
  EXPECT_TRUE(state().failures.empty());
  EXPECT_TRUE(state().terminalSignals.empty());
}

// A resume used to start at zero ("0/… • Zero KB/s", the ring empty) until the service had said
// what it holds, then jumped: its first frame shows where the failed run stood. A fresh start of
// the same item begins at zero.
TEST_F(TransferStoreUploadTest, AResumeStartsFromWhatTheFailedRunLeftOnStorage) {
  const auto id = startUploading("a.txt");
  engine->progress(0.6);
  settle();
  engine->fail("The network went away.");
  settle();

  send(RetryTransfer{id});
  ASSERT_TRUE(engine->lastRun().isResume);
  EXPECT_EQ(upload().progress.bytesUploaded, 60);
  EXPECT_DOUBLE_EQ(upload().progress.progress, 0.6);
  EXPECT_EQ(upload().progress.bytesPerSecond, 0);  // this run has sent nothing yet
  EXPECT_EQ(upload().progress.currentFileIndex, 0);

  engine->fail("This upload can no longer be resumed.", std::nullopt, false);
  settle();
  preparer->succeed();
  settle();
  ASSERT_FALSE(engine->lastRun().isResume);
  EXPECT_EQ(upload().progress.bytesUploaded, 0);
  EXPECT_EQ(upload().progress.progress, 0.0);
}

// A resume the service refuses (it lost the transfer, or a file changed) does not leave the user
// retrying a resume that can never work: the item is discarded, prepared again and sent afresh,
// without a second failure. A fresh run that fails so is a failure as any other.
TEST_F(TransferStoreUploadTest, ARefusedResumeUploadsAfresh) {
  const auto id = startUploading("a.txt");
  engine->fail("This transfer does not exist.", std::nullopt, false);
  settle();
  ASSERT_EQ(state().failures.size(), 1u);
  ASSERT_EQ(notifier->notifications.size(), 1u);

  send(RetryTransfer{id});
  ASSERT_TRUE(engine->lastRun().isResume);
  engine->fail("This upload can no longer be resumed.", std::nullopt, false);
  settle();
  EXPECT_EQ(engine->discardCount(), 1u);
  EXPECT_TRUE(state().failures.empty());
  EXPECT_TRUE(state().terminalSignals.empty());
  EXPECT_EQ(notifier->notifications.size(), 1u);
  EXPECT_EQ(state().currentTransferID, id);
  ASSERT_EQ(preparer->requests().size(), 2u);
  preparer->succeed();
  settle();
  ASSERT_EQ(engine->runs().size(), 3u);
  EXPECT_FALSE(engine->lastRun().isResume);
  EXPECT_EQ(upload().runID, runIDs.back());

  // A resume that fails for a cause it may get past stays a resumable failure.
  engine->fail("The network went away.");
  settle();
  send(RetryTransfer{id});
  engine->fail("The network went away.");
  settle();
  EXPECT_EQ(state().failures.size(), 1u);
  EXPECT_TRUE(review().hasRetryPreparedTransfer());
  EXPECT_EQ(engine->discardCount(), 1u);
}

// Set aside for the next queued item, the failed item's transfer was discarded: its retry prepares
// and uploads it afresh.
TEST_F(TransferStoreUploadTest, RetryingAnItemSetAsideUploadsAfresh) {
  const auto failed = startUploading("a.txt");
  const auto next = enqueue("b.txt");
  engine->fail("Gone.");
  settle();
  ASSERT_EQ(state().currentTransferID, next);
  ASSERT_EQ(engine->discardCount(), 1u);

  send(RetryTransfer{failed});
  EXPECT_EQ(engine->runs().size(), 1u);
  ASSERT_EQ(state().queue.size(), 1u);
  EXPECT_EQ(state().queue[0].id, failed);
}

TEST_F(TransferStoreUploadTest, AFailureWithQueuedItemsIsCleanedUpBeforeTheNextOneStarts) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto failed = startUploading("a.txt");
  const auto next = enqueue("b.txt");
  engine->fail("Gone.");
  settle();
  EXPECT_EQ(engine->pendingDiscards(), 1u);
  EXPECT_EQ(state().currentTransferID, failed);  // shown until the discard is done
  EXPECT_EQ(state().queue.size(), 1u);

  engine->finishDiscard();
  settle();
  EXPECT_EQ(state().currentTransferID, next);
  EXPECT_EQ(state().failures.front().id, failed);
  EXPECT_EQ(state().terminalSignals.front().id, failed);
}

TEST_F(TransferStoreUploadTest, TwoFailuresOfOneItemLeaveOneRecordAndOneSignal) {
  const auto id = failUploading("a.txt");
  send(StartTransfer{});
  engine->fail("Again.");
  settle();
  ASSERT_EQ(state().failures.size(), 1u);
  EXPECT_EQ(state().failures[0].message, "Again.");
  ASSERT_EQ(state().terminalSignals.size(), 1u);
  EXPECT_EQ(state().terminalSignals[0].id, id);
  EXPECT_EQ(state().terminalSignals[0].runID, runIDs.back());
}

TEST_F(TransferStoreUploadTest, AStoppedRunReportsNothing) {
  startUploading("a.txt");
  send(AbortUpload{TransferAbortDestination::review});
  engine->endCancelled(0);
  engine->fail("late", 0);
  settle();
  EXPECT_TRUE(state().failures.empty());
  EXPECT_TRUE(notifier->notifications.empty());
}

// ---- Abort and cancel of a running upload ----

TEST_F(TransferStoreUploadTest, AbortToReviewLeavesAReadyReviewThatUploadsAfresh) {
  const auto id = startUploading("a.txt");
  engine->progress(0.5);
  settle();
  send(AbortUpload{TransferAbortDestination::review});
  EXPECT_TRUE(engine->lastRun().stop.stop_requested());
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_TRUE(isReviewReady());
  EXPECT_FALSE(review().hasRetryPreparedTransfer());
  EXPECT_EQ(engine->discardCount(), 1u);

  send(StartTransfer{});
  EXPECT_FALSE(engine->lastRun().isResume);
}

TEST_F(TransferStoreUploadTest, AbortToIdleStaysUploadingUntilTheCleanupEndsTheItem) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto access = TransferSourceAccessID::generate();
  const auto id = submit("a.txt", access);
  settle();
  preparer->succeed();
  settle();
  const auto next = enqueue("b.txt");

  send(AbortUpload{TransferAbortDestination::idle});
  EXPECT_TRUE(engine->lastRun().stop.stop_requested());
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_TRUE(activeUpload(state().phase));
  EXPECT_TRUE(released.empty());

  // An event the engine still delivers before its stopped call ends is applied.
  engine->progress(0.6);
  settle();
  EXPECT_DOUBLE_EQ(upload().progress.progress, 0.6);

  engine->finishDiscard();
  settle();
  EXPECT_EQ(state().currentTransferID, next);
  EXPECT_EQ(released, std::vector<TransferSourceAccessID>{access});
}

TEST_F(TransferStoreUploadTest, CancelAndAbortAreIgnoredOnceProgressReachesOne) {
  const auto id = startUploading("a.txt");
  engine->progress(1.0);
  settle();
  const TransferFeatureState before = state();
  send(AbortUpload{TransferAbortDestination::idle});
  send(AbortUpload{TransferAbortDestination::review});
  send(CancelTransfer{id});
  EXPECT_EQ(state(), before);
  EXPECT_FALSE(engine->lastRun().stop.stop_requested());
  EXPECT_EQ(engine->discardCount(), 0u);
}

TEST_F(TransferStoreUploadTest, CancellingTheUploadingItemCleansItUp) {
  const auto id = startUploading("a.txt");
  send(CancelTransfer{id});
  EXPECT_TRUE(activeUpload(state().phase));
  EXPECT_TRUE(engine->lastRun().stop.stop_requested());
  settle();
  EXPECT_TRUE(isIdle(state().phase));
  EXPECT_FALSE(state().currentTransferID);
  EXPECT_EQ(engine->discardCount(), 1u);
}

TEST_F(TransferStoreUploadTest, CancelAndAbortOutsideAnUploadDoNothing) {
  send(AbortUpload{TransferAbortDestination::idle});
  send(CancelTransfer{TransferItemID::generate()});
  send(OpenChooser{});
  send(CancelTransfer{TransferItemID::generate()});
  send(AbortUpload{TransferAbortDestination::review});
  EXPECT_TRUE(isChoosing(state().phase));
  EXPECT_EQ(engine->discardCount(), 0u);
}

// ---- Completion ----

TEST_F(TransferStoreUploadTest, ACompletionWithAnEmptyQueueStaysShown) {
  const auto id = startUploading("a.txt");
  const UploadRunID run = upload().runID;
  const auto completed = engine->completedTransferOf(0);
  engine->complete(completed);
  settle();

  EXPECT_EQ(state().phase, TransferPhase{transfer_phase::Completed{completed}});
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_EQ(completions, std::vector<CompletedTransfer>{completed});
  EXPECT_EQ(state().terminalSignals.back(),
            (TransferTerminalSignal{id, run, TransferTerminalSignal::Outcome::completed}));
  EXPECT_EQ(notifier->notifications.back(),
            (TransferNotification{TransferNotification::Outcome::completed, run, "a.txt", "transfer-1"}));
  EXPECT_FALSE(state().hasActivity());

  send(DismissCompletedTransfer{});
  EXPECT_TRUE(isIdle(state().phase));
  EXPECT_FALSE(state().currentTransferID);
}

TEST_F(TransferStoreUploadTest, ACompletionMovesOnToTheNextQueuedItem) {
  startUploading("a.txt");
  const auto next = enqueue("b.txt");
  engine->complete(engine->completedTransferOf(0));
  settle();
  EXPECT_EQ(state().currentTransferID, next);
  EXPECT_TRUE(reviewState(state().phase));
  EXPECT_EQ(completions.size(), 1u);
}

// The completed run's handed-over files are done with: other records and queued items of the same
// access go before the queue is looked at, so the completed transfer stays shown.
TEST_F(TransferStoreUploadTest, ACompletionRemovesEntriesOfTheSameAccessBeforeLookingAtTheQueue) {
  const auto access = TransferSourceAccessID::generate();
  const auto failed = submit("a.txt", access);
  const auto uploading = submit("b.txt", access);
  settle();
  preparer->fail(TransferPreparationError::noTransferableFiles());
  settle();
  ASSERT_EQ(state().currentTransferID, uploading);
  preparer->succeed();
  settle();
  const auto sibling = submit("c.txt", access);
  ASSERT_EQ(state().failures.front().id, failed);
  ASSERT_EQ(state().queue.front().id, sibling);

  engine->complete(engine->completedTransferOf(0));
  settle();

  EXPECT_TRUE(completedTransfer(state().phase));
  EXPECT_EQ(state().currentTransferID, uploading);
  EXPECT_TRUE(state().failures.empty());
  EXPECT_TRUE(state().queue.empty());
  EXPECT_EQ(released, std::vector<TransferSourceAccessID>{access});
}

TEST_F(TransferStoreUploadTest, ACompletionResetsLeftOverLinkFeedback) {
  startUploading("a.txt");
  engine->complete(engine->completedTransferOf(0));
  settle();
  send(CopyLink{});
  const auto next = enqueue("b.txt");
  settle();
  preparer->succeed();
  settle();
  EXPECT_EQ(state().currentTransferID, next);
  EXPECT_EQ(state().presentation.linkFeedback, LinkFeedback::idle);
  EXPECT_FALSE(state().presentation.copiedLinkTransferID);
}

// ---- Link actions ----

TEST_F(TransferStoreUploadTest, CopyLinkShowsFeedbackForTwoSecondsAfterTheLastCopy) {
  const auto id = startUploading("a.txt");
  engine->complete(engine->completedTransferOf(0, "abc"));
  settle();

  send(CopyLink{});
  EXPECT_EQ(clipboard->written, std::vector<std::string>{"https://app.example.com/dl/abc"});
  EXPECT_EQ(state().presentation.linkFeedback, LinkFeedback::copied);
  EXPECT_EQ(state().presentation.copiedLinkTransferID, id);

  queue.advance(1500ms);
  send(CopyLink{});  // replaces the running timer
  queue.advance(1000ms);
  EXPECT_EQ(state().presentation.linkFeedback, LinkFeedback::copied);
  queue.advance(1000ms);
  EXPECT_EQ(state().presentation.linkFeedback, LinkFeedback::idle);
  EXPECT_FALSE(state().presentation.copiedLinkTransferID);
  EXPECT_EQ(clipboard->written.size(), 2u);
}

TEST_F(TransferStoreUploadTest, LinkActionsNeedACompletedTransfer) {
  send(CopyLink{});
  send(ViewTransfer{});
  EXPECT_TRUE(clipboard->written.empty());
  EXPECT_TRUE(opener->opened.empty());

  send(ViewTransferSettings{});  // allowed in every phase
  ASSERT_EQ(opener->opened.size(), 1u);
  EXPECT_EQ(opener->opened[0].toString(), "https://app.example.com/settings/transfer");

  startUploading("a.txt");
  engine->complete(engine->completedTransferOf(0, std::nullopt, "42"));
  settle();
  send(CopyLink{});
  EXPECT_TRUE(clipboard->written.empty());
  send(ViewTransfer{});
  EXPECT_EQ(opener->opened.back().toString(), "https://app.example.com/transfers/42");
}

TEST_F(TransferStoreUploadTest, StartNewTransferLeavesACompletedTransferWithoutStartingTheQueue) {
  startUploading("a.txt");
  send(StartNewTransfer{});  // uploading: nothing
  EXPECT_TRUE(activeUpload(state().phase));
  engine->complete(engine->completedTransferOf(0));
  settle();
  send(StartNewTransfer{});
  EXPECT_TRUE(isChoosing(state().phase));
  EXPECT_FALSE(state().currentTransferID);

  // While the chooser shows without a panel, a dropped item replaces it.
  const auto dropped = enqueue("b.txt");
  EXPECT_EQ(state().currentTransferID, dropped);
}

}  // namespace
}  // namespace tavrel::testing
