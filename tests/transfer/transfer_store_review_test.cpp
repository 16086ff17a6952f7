#include "transfer_store_fixture.h"

namespace tavrel::testing {
namespace {

using namespace transfer_action;

using TransferStoreReviewTest = TransferStoreTest;

// ---- The chooser and the open panel ----

TEST_F(TransferStoreReviewTest, OpensTheChooserOnlyWhenIdleWithAnEmptyQueue) {
  const auto id = enqueue("a.txt");
  send(OpenChooser{});
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_TRUE(reviewState(state().phase));

  send(CancelTransfer{id});
  send(OpenChooser{});
  EXPECT_TRUE(isChoosing(state().phase));
  send(CloseChooser{});
  EXPECT_TRUE(isIdle(state().phase));
}

TEST_F(TransferStoreReviewTest, ThePanelsAnswerIsReviewedAndADismissalChangesNothing) {
  send(ChooseFiles{});  // outside the chooser
  EXPECT_TRUE(picker->requests().empty());

  send(OpenChooser{});
  send(ChooseFiles{});
  ASSERT_EQ(picker->requests().size(), 1u);
  EXPECT_EQ(picker->requests()[0].request, TransferFilePickerRequest::files);
  EXPECT_TRUE(state().presentation.isFilePickerPresented);

  picker->answer(std::nullopt);
  settle();
  EXPECT_FALSE(state().presentation.isFilePickerPresented);
  EXPECT_TRUE(isChoosing(state().phase));
  EXPECT_TRUE(preparer->requests().empty());

  send(ChooseFolder{});
  EXPECT_EQ(picker->requests().back().request, TransferFilePickerRequest::folder);
  picker->answer(std::vector{directory.makeDirectory("photos")});
  settle();
  EXPECT_EQ(review().startPolicy, TransferStartPolicy::requiresReview);
  EXPECT_EQ(review().selection.items.front().kind, TransferItemKind::folder);
  EXPECT_EQ(preparer->requests().size(), 1u);
}

TEST_F(TransferStoreReviewTest, ChooseItemsQueuesThePickAndIsIgnoredWhileAPanelShows) {
  send(ChooseItems{});
  send(ChooseItems{});
  ASSERT_EQ(picker->requests().size(), 1u);
  EXPECT_EQ(picker->requests()[0].request, TransferFilePickerRequest::items);

  picker->answer(std::vector{file("a.txt"), file("b.txt")});
  settle();
  EXPECT_FALSE(state().presentation.isFilePickerPresented);
  EXPECT_EQ(review().startPolicy, TransferStartPolicy::automatic);
  EXPECT_EQ(review().selection.items.size(), 2u);
}

TEST_F(TransferStoreReviewTest, AStoppedPanelAnswersIntoNothing) {
  send(OpenChooser{});
  send(ChooseFiles{});
  send(CloseChooser{});
  EXPECT_TRUE(picker->requests()[0].stop.stop_requested());
  picker->answer(std::vector{file("a.txt")});
  settle();
  EXPECT_TRUE(isIdle(state().phase));
  EXPECT_TRUE(preparer->requests().empty());
}

// ---- Selection ----

TEST_F(TransferStoreReviewTest, UnusablePathsChangeNothing) {
  send(SelectedURLs{{directory.path() / "missing.txt"}, TransferStartPolicy::requiresReview});
  send(EnqueueURLs{{file("a.txt"), directory.path() / "missing.txt"}});
  send(EnqueueURLs{{"relative.txt"}});
  EXPECT_EQ(state(), TransferFeatureState{});
}

TEST_F(TransferStoreReviewTest, HandedOverItemsThatAreGoneBecomeAFailureTheUserSeesAndTheRestIsSent) {
  const auto access = TransferSourceAccessID::generate();
  const auto present = file("a.txt");
  send(EnqueueSubmission{{{present, directory.path() / "gone.txt", directory.path() / "gone too"},
                          TransferStartPolicy::automatic, access}});
  ASSERT_EQ(review().selection.items.size(), 1u);
  EXPECT_EQ(review().selection.items[0].url, present);
  EXPECT_EQ(review().sourceAccessID, access);
  ASSERT_EQ(state().failures.size(), 1u);
  const auto failure = state().failures[0];
  EXPECT_EQ(failure.title, "gone.txt");
  EXPECT_EQ(failure.message, "“gone.txt” and 1 more were moved or deleted after they were shared.");
  EXPECT_EQ(failure.topLevelCountDescription, "2 items");
  EXPECT_FALSE(failure.retrySelection);
  EXPECT_FALSE(failure.sourceAccessID);
  // The notification's run finds the row it belongs to.
  ASSERT_TRUE(failure.runID);
  EXPECT_EQ(state().failure(*failure.runID)->id, failure.id);
  EXPECT_EQ(notifier->notifications,
            (std::vector<TransferNotification>{{TransferNotification::Outcome::failed, *failure.runID, "gone.txt", std::nullopt}}));
  EXPECT_EQ(state().terminalSignals.back(),
            (TransferTerminalSignal{failure.id, failure.runID, TransferTerminalSignal::Outcome::failed}));
  EXPECT_TRUE(released.empty());

  // Nothing left: the failure alone, and the access goes back.
  const auto other = TransferSourceAccessID::generate();
  send(EnqueueSubmission{{{directory.path() / "gone.txt"}, TransferStartPolicy::automatic, other}});
  EXPECT_EQ(released, std::vector<TransferSourceAccessID>{other});
  ASSERT_EQ(state().failures.size(), 2u);
  EXPECT_EQ(state().failures[1].message, "“gone.txt” was moved or deleted after it was shared.");
  EXPECT_EQ(state().failures[1].topLevelCountDescription, "1 item");
  EXPECT_EQ(state().queue.size(), 0u);
}

TEST_F(TransferStoreReviewTest, SelectionIsIgnoredWhileUploadingCompletedOrReviewingAutomatically) {
  const auto id = enqueue("a.txt");
  settle();
  // An automatic review takes no more paths.
  send(SelectedURLs{{file("b.txt")}, TransferStartPolicy::requiresReview});
  EXPECT_EQ(review().selection.items.size(), 1u);

  preparer->succeed();
  settle();
  send(SelectedURLs{{file("b.txt")}, TransferStartPolicy::requiresReview});
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_TRUE(activeUpload(state().phase));

  engine->complete(engine->completedTransferOf(0));
  settle();
  send(SelectedURLs{{file("b.txt")}, TransferStartPolicy::requiresReview});
  EXPECT_TRUE(completedTransfer(state().phase));

  // A review that takes more paths takes none with the automatic policy, and none once it waits
  // for a retry.
  rebuild();
  reviewReady("a.txt");
  send(SelectedURLs{{file("b.txt")}, TransferStartPolicy::automatic});
  EXPECT_EQ(review().selection.items.size(), 1u);
  EXPECT_TRUE(isReviewReady());
  rebuild();
  failUploading("a.txt");
  send(SelectedURLs{{file("b.txt")}, TransferStartPolicy::requiresReview});
  EXPECT_EQ(review().selection.items.size(), 1u);
  EXPECT_TRUE(review().hasRetryPreparedTransfer());
  EXPECT_EQ(preparer->requests().size(), 1u);
}

TEST_F(TransferStoreReviewTest, ADirectSelectionTakesTheDefaultsCurrentAtTheStart) {
  reviewReady("a.txt");
  defaults.expiryDays = 30;
  send(StartTransfer{});
  EXPECT_EQ(engine->lastRun().input.preparedTransfer.defaults.expiryDays, 30);
  EXPECT_FALSE(engine->lastRun().isResume);
  EXPECT_EQ(upload().progress.currentFileIndex, 0);
  EXPECT_EQ(upload().progress.bytesUploaded, 0);
  EXPECT_EQ(notifier->authorizationRequests, 1);
}

TEST_F(TransferStoreReviewTest, AQueuedItemKeepsTheDefaultsCapturedWhenItWasQueued) {
  enqueue("a.txt", TransferStartPolicy::requiresReview);
  defaults.expiryDays = 30;
  settle();
  EXPECT_EQ(preparer->lastRequest().defaults.expiryDays, 7);
  preparer->succeed();
  settle();
  send(StartTransfer{});
  EXPECT_EQ(engine->lastRun().input.preparedTransfer.defaults.expiryDays, 7);
}

TEST_F(TransferStoreReviewTest, StartTransferNeedsAReadyReview) {
  send(StartTransfer{});
  enqueue("a.txt", TransferStartPolicy::requiresReview);
  send(StartTransfer{});  // still calculating
  settle();
  preparer->fail(TransferPreparationError::cannotRead("a.txt"));
  settle();
  send(StartTransfer{});  // failed
  EXPECT_TRUE(engine->runs().empty());
}

// ---- Preparation results ----

TEST_F(TransferStoreReviewTest, AFailedPreparationStaysShownWithAnEmptyQueue) {
  const auto access = TransferSourceAccessID::generate();
  const auto id = submit("a.txt", access);
  settle();
  preparer->fail(TransferPreparationError::unsupportedSymbolicLink("a.txt"));
  settle();

  const std::string text = "\u201Ca.txt\u201D is a symbolic link and can\u2019t be transferred securely.";
  EXPECT_EQ(review().preparation, TransferReviewPreparation{review_preparation::Failed{text}});
  ASSERT_EQ(state().failures.size(), 1u);
  const auto& failure = state().failures[0];
  EXPECT_EQ(failure.id, id);
  EXPECT_EQ(failure.stage, TransferFailureStage::preparation);
  EXPECT_EQ(failure.message, text);
  EXPECT_EQ(failure.title, "a.txt");
  EXPECT_EQ(failure.topLevelCountDescription, "1 file");
  EXPECT_FALSE(failure.totalFileCount);
  EXPECT_FALSE(failure.runID);
  EXPECT_EQ(failure.sourceAccessID, access);
  EXPECT_EQ(failure.defaults, defaults);
  EXPECT_EQ(state().terminalSignals,
            (std::vector<TransferTerminalSignal>{{id, std::nullopt, TransferTerminalSignal::Outcome::failed}}));
  EXPECT_FALSE(state().activeTransferID());
  EXPECT_TRUE(released.empty());  // the failure record still holds the access
}

TEST_F(TransferStoreReviewTest, AFailedPreparationMakesWayForTheNextQueuedItem) {
  const auto failed = enqueue("a.txt");
  const auto next = enqueue("b.txt");
  settle();
  preparer->fail(TransferPreparationError::noTransferableFiles());
  settle();
  EXPECT_EQ(state().currentTransferID, next);
  EXPECT_EQ(state().failures.front().id, failed);
  EXPECT_EQ(state().allItemIDs(), (std::vector<TransferItemID>{next, failed}));

  // Retrying queues it again under its own identity; its signal goes.
  send(RetryTransfer{failed});
  EXPECT_TRUE(state().failures.empty());
  EXPECT_TRUE(state().terminalSignals.empty());
  ASSERT_EQ(state().queue.size(), 1u);
  EXPECT_EQ(state().queue[0].id, failed);
}

TEST_F(TransferStoreReviewTest, ChooseDifferentItemsReplacesAFailedReview) {
  const auto failed = enqueue("a.txt");
  settle();
  preparer->fail(TransferPreparationError::noTransferableFiles());
  settle();

  send(ChooseDifferentItems{TransferStartPolicy::automatic});
  EXPECT_TRUE(isIdle(state().phase));
  EXPECT_FALSE(state().currentTransferID);
  EXPECT_EQ(state().failures.front().id, failed);  // the record stays
  ASSERT_EQ(picker->requests().size(), 1u);
  picker->answer(std::vector{file("b.txt")});
  settle();
  EXPECT_NE(state().currentTransferID, failed);
  EXPECT_EQ(review().selection.items.front().displayName, "b.txt");
}

// The failed run's remote transfer is discarded before the newly picked items take the slot; the
// review stays shown meanwhile and its failure record stays.
TEST_F(TransferStoreReviewTest, ChooseDifferentItemsOnARetryReviewWaitsForTheDiscard) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto failed = failUploading("a.txt");
  send(ChooseDifferentItems{TransferStartPolicy::requiresReview});
  EXPECT_EQ(engine->pendingDiscards(), 1u);
  EXPECT_EQ(state().currentTransferID, failed);
  EXPECT_TRUE(review().hasRetryPreparedTransfer());
  ASSERT_EQ(picker->requests().size(), 1u);
  EXPECT_EQ(picker->requests()[0].request, TransferFilePickerRequest::items);

  picker->answer(std::vector{file("b.txt")});
  settle();
  ASSERT_EQ(state().queue.size(), 1u);  // waits for the discard
  EXPECT_EQ(state().currentTransferID, failed);

  engine->finishDiscard();
  settle();
  EXPECT_EQ(state().currentTransferID, itemIDs.back());
  EXPECT_EQ(review().selection.items.front().displayName, "b.txt");
  EXPECT_EQ(review().startPolicy, TransferStartPolicy::requiresReview);
  EXPECT_EQ(state().failures.front().id, failed);
}

TEST_F(TransferStoreReviewTest, StartNewTransferLeavesAFailedPreparationButNotACalculatingReview) {
  enqueue("a.txt");
  send(StartNewTransfer{});
  EXPECT_TRUE(reviewState(state().phase));

  settle();
  preparer->fail(TransferPreparationError::noTransferableFiles());
  settle();
  send(StartNewTransfer{});
  EXPECT_TRUE(isChoosing(state().phase));
  EXPECT_FALSE(state().currentTransferID);
  EXPECT_EQ(state().failures.size(), 1u);
  EXPECT_EQ(engine->discardCount(), 0u);
}

TEST_F(TransferStoreReviewTest, ActionsThatDoNotFitTheFailedReviewChangeNothing) {
  enqueue("a.txt");
  settle();
  preparer->fail(TransferPreparationError::noTransferableFiles());
  settle();
  const TransferFeatureState before = state();
  send(DismissCompletedTransfer{});
  send(RetryTransfer{TransferItemID::generate()});
  send(OpenChooser{});
  send(ChooseFiles{});
  send(AbortUpload{TransferAbortDestination::idle});
  EXPECT_EQ(state(), before);
  EXPECT_TRUE(picker->requests().empty());
}

// ---- Cancel in every phase ----

TEST_F(TransferStoreReviewTest, CancellingAQueuedItemDoesNotStartAnother) {
  const auto current = enqueue("a.txt", TransferStartPolicy::requiresReview);
  const auto queued = enqueue("b.txt");
  send(CancelTransfer{queued});
  EXPECT_TRUE(state().queue.empty());
  EXPECT_EQ(state().currentTransferID, current);
}

TEST_F(TransferStoreReviewTest, CancellingTheReviewedItemMovesToTheNextOne) {
  const auto current = enqueue("a.txt", TransferStartPolicy::requiresReview);
  const auto next = enqueue("b.txt");
  settle();
  send(CancelTransfer{current});
  EXPECT_TRUE(preparer->requests()[0].stop.stop_requested());
  EXPECT_EQ(state().currentTransferID, next);
  EXPECT_EQ(engine->discardCount(), 0u);
}

TEST_F(TransferStoreReviewTest, CancelSelectionAndClearSelection) {
  reviewReady("a.txt");
  send(ClearSelection{});
  EXPECT_TRUE(isChoosing(state().phase));
  EXPECT_TRUE(state().currentTransferID);  // kept until a new selection replaces it

  send(SelectedURLs{{file("b.txt")}, TransferStartPolicy::requiresReview});
  EXPECT_EQ(itemIDs.size(), 2u);
  send(CancelSelection{});
  EXPECT_TRUE(isIdle(state().phase));
  EXPECT_FALSE(state().currentTransferID);
  EXPECT_EQ(engine->discardCount(), 0u);
}

TEST_F(TransferStoreReviewTest, ClearingARetryReviewLeavesAPlainReadyReviewAndDiscardsOnce) {
  const auto id = failUploading("a.txt");
  send(ClearSelection{});
  settle();
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_TRUE(isReviewReady());
  EXPECT_FALSE(review().errorMessage);
  EXPECT_FALSE(review().hasRetryPreparedTransfer());
  EXPECT_EQ(engine->discardCount(), 1u);
  EXPECT_EQ(state().failures.size(), 1u);

  send(StartTransfer{});
  EXPECT_FALSE(engine->lastRun().isResume);
}

}  // namespace
}  // namespace tavrel::testing
