#include "transfer_store_fixture.h"

namespace tavrel::testing {
namespace {

using namespace transfer_action;

using TransferStoreFaultTest = TransferStoreTest;

// A failed upload with an item queued behind it waits for its clean-up. Starting it meanwhile used
// to start a run that the clean-up then ended, losing the item without a record.
TEST_F(TransferStoreFaultTest, StartIsIgnoredWhileTheItemsCleanupIsPending) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto failed = startUploading("a.txt");
  const auto next = enqueue("b.txt");
  engine->fail("Gone.");
  settle();
  ASSERT_EQ(engine->pendingDiscards(), 1u);

  send(StartTransfer{});
  EXPECT_EQ(engine->runs().size(), 1u);
  EXPECT_TRUE(review().hasRetryPreparedTransfer());
  EXPECT_EQ(state().failures.size(), 1u);

  engine->finishDiscard();
  settle();
  EXPECT_EQ(state().currentTransferID, next);
  ASSERT_EQ(state().failures.size(), 1u);
  EXPECT_EQ(state().failures[0].id, failed);
}

// Retrying that failure meanwhile, from its review or from its failure row, queues the item again
// behind the waiting one and starts nothing. The review's retry used to be ignored while the row's
// was accepted.
TEST_F(TransferStoreFaultTest, BothRetriesQueueTheItemWhileItsCleanupIsPending) {
  for (const bool fromReview : {true, false}) {
    SCOPED_TRACE(fromReview ? "retryFailedTransfer" : "retryTransfer");
    rebuild();
    engine->setAnswersDiscardsAtOnce(false);
    const auto failed = startUploading("a.txt");
    const auto next = enqueue("b.txt");
    engine->fail("Gone.");
    settle();
    ASSERT_EQ(engine->pendingDiscards(), 1u);

    if (fromReview) {
      send(RetryFailedTransfer{});
    } else {
      send(RetryTransfer{failed});
    }
    settle();
    EXPECT_EQ(engine->runs().size(), 1u);
    EXPECT_EQ(engine->discardCount(), 1u);
    EXPECT_EQ(state().currentTransferID, failed);
    EXPECT_TRUE(state().failures.empty());
    EXPECT_TRUE(state().terminalSignals.empty());
    ASSERT_EQ(state().queue.size(), 2u);
    EXPECT_EQ(state().queue[0].id, next);
    EXPECT_EQ(state().queue[1].id, failed);

    engine->finishDiscard();
    settle();
    EXPECT_EQ(state().currentTransferID, next);
    ASSERT_EQ(state().queue.size(), 1u);
    EXPECT_EQ(state().queue[0].id, failed);
    EXPECT_EQ(engine->runs().size(), 1u);
  }
}

// A clean-up ends only what it was scheduled for: a review the user turned into a plain one stays.
TEST_F(TransferStoreFaultTest, ACleanupDoesNotEndAReviewTheUserHasSinceChanged) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto failed = startUploading("a.txt");
  enqueue("b.txt");
  engine->fail("Gone.");
  settle();
  send(ClearSelection{});
  ASSERT_TRUE(isReviewReady());

  engine->finishDiscard();
  settle();
  EXPECT_EQ(state().currentTransferID, failed);
  EXPECT_TRUE(isReviewReady());
  EXPECT_EQ(state().queue.size(), 1u);
}

// A failed upload's review cleared into a plain one keeps its failure record. Retrying that record
// used to queue the item while it was still current, so it uploaded once from the review and once
// more from the queue, under one identity.
TEST_F(TransferStoreFaultTest, RetryingAnItemThatIsStillCurrentDoesNotUploadItTwice) {
  const auto id = failUploading("a.txt");
  send(ClearSelection{});
  settle();
  ASSERT_TRUE(isReviewReady());
  ASSERT_EQ(state().failures.size(), 1u);

  send(RetryTransfer{id});
  settle();
  EXPECT_TRUE(state().queue.empty());

  send(StartTransfer{});
  settle();
  ASSERT_TRUE(activeUpload(state().phase));
  send(RetryTransfer{id});
  settle();
  EXPECT_TRUE(state().queue.empty());
}

// Cancelling a review that holds a resumable transfer, or leaving it for a new transfer, used to
// leave the remote transfer in the engine, where a later resume could finish it as another item.
TEST_F(TransferStoreFaultTest, LeavingARetryReviewDiscardsTheEnginesTransfer) {
  const auto id = failUploading("a.txt");
  send(CancelTransfer{id});
  settle();
  EXPECT_EQ(engine->discardCount(), 1u);
  EXPECT_TRUE(isIdle(state().phase));
  EXPECT_TRUE(state().failures.empty());

  rebuild();
  const auto other = failUploading("b.txt");
  send(StartNewTransfer{});
  settle();
  EXPECT_EQ(engine->discardCount(), 1u);
  EXPECT_TRUE(isChoosing(state().phase));
  EXPECT_EQ(state().failures.front().id, other);  // still retryable, afresh
}

// While one item's clean-up is pending, cancelling or aborting another item's upload used to leave
// its run going and never clean it up, so the cancelled transfer completed and was shared.
TEST_F(TransferStoreFaultTest, CancellingAnUploadDuringAnotherCleanupStopsItAndCleansUpAfter) {
  for (const bool viaAbort : {false, true}) {
    SCOPED_TRACE(viaAbort ? "abort to idle" : "cancel");
    rebuild();
    engine->setAnswersDiscardsAtOnce(false);
    startUploading("a.txt");
    const auto queued = enqueue("q.txt");
    engine->fail("Gone.");
    settle();
    ASSERT_EQ(engine->pendingDiscards(), 1u);

    // A new transfer goes up while the failed one is still being discarded.
    send(StartNewTransfer{});
    send(ChooseFiles{});
    picker->answer(std::vector{file("b.txt")});
    settle();
    preparer->succeed();
    settle();
    send(StartTransfer{});
    const auto uploading = state().currentTransferID.value();
    ASSERT_TRUE(activeUpload(state().phase));

    if (viaAbort) {
      send(AbortUpload{TransferAbortDestination::idle});
    } else {
      send(CancelTransfer{uploading});
    }
    EXPECT_TRUE(engine->lastRun().stop.stop_requested());
    EXPECT_EQ(engine->pendingDiscards(), 1u);

    engine->finishDiscard();  // the failed item's
    settle();
    EXPECT_EQ(engine->pendingDiscards(), 1u);  // then the cancelled run's
    EXPECT_EQ(state().currentTransferID, uploading);

    engine->finishDiscard();
    settle();
    EXPECT_EQ(state().currentTransferID, queued);
    EXPECT_TRUE(completions.empty());
  }
}

// A cancelled run whose clean-up waits behind another one and is then aborted to its review has its
// transfer discarded at once; the review starts again without waiting for the other clean-up.
TEST_F(TransferStoreFaultTest, AReviewAbortedFromAWaitingCleanupStartsAtOnce) {
  engine->setAnswersDiscardsAtOnce(false);
  startUploading("a.txt");
  enqueue("q.txt");
  engine->fail("Gone.");
  settle();
  send(StartNewTransfer{});
  send(ChooseFiles{});
  picker->answer(std::vector{file("b.txt")});
  settle();
  preparer->succeed();
  settle();
  send(StartTransfer{});
  const auto cancelled = state().currentTransferID.value();
  send(CancelTransfer{cancelled});
  send(AbortUpload{TransferAbortDestination::review});
  ASSERT_TRUE(isReviewReady());
  EXPECT_EQ(engine->discardCount(), 2u);

  send(StartTransfer{});
  EXPECT_TRUE(activeUpload(state().phase));
  EXPECT_EQ(engine->runs().size(), 3u);

  // The other clean-up's end leaves the new run alone and starts no further discard.
  engine->finishDiscard();
  engine->finishDiscard();
  settle();
  EXPECT_EQ(state().currentTransferID, cancelled);
  EXPECT_TRUE(activeUpload(state().phase));
  EXPECT_EQ(engine->discardCount(), 2u);
}

// A dropped item used to replace the chooser while its open panel was showing, so the pick that
// came back was ignored.
TEST_F(TransferStoreFaultTest, TheQueueWaitsForAPresentedChooserPanel) {
  send(OpenChooser{});
  send(ChooseFiles{});
  const auto dropped = enqueue("dropped.txt");
  EXPECT_TRUE(isChoosing(state().phase));
  EXPECT_EQ(state().queue.size(), 1u);

  picker->answer(std::vector{file("picked.txt")});
  settle();
  EXPECT_EQ(review().selection.items.front().displayName, "picked.txt");
  EXPECT_EQ(review().startPolicy, TransferStartPolicy::requiresReview);
  EXPECT_EQ(state().queue.front().id, dropped);

  // A dismissed panel lets the waiting item through.
  rebuild();
  send(OpenChooser{});
  send(ChooseFolder{});
  const auto waiting = enqueue("dropped.txt");
  picker->answer(std::nullopt);
  settle();
  EXPECT_EQ(state().currentTransferID, waiting);
}

// An empty slug used to copy the web application's home address and show "copied".
TEST_F(TransferStoreFaultTest, AnEmptySlugOrTransferIDIsNoLink) {
  startUploading("a.txt");
  engine->complete(engine->completedTransferOf(0, "", ""));
  settle();
  send(CopyLink{});
  send(ViewTransfer{});
  EXPECT_TRUE(clipboard->written.empty());
  EXPECT_TRUE(opener->opened.empty());
  EXPECT_EQ(state().presentation.linkFeedback, LinkFeedback::idle);
  EXPECT_TRUE(queue.hasPendingTasks() == false);
}

// ---- Source access on every road ----

TEST_F(TransferStoreFaultTest, ReleasesEachAccessExactlyOnceOnEveryRoad) {
  const auto access = TransferSourceAccessID::generate();
  auto expectReleasedOnce = [&] {
    settle();
    EXPECT_EQ(released, std::vector<TransferSourceAccessID>{access});
  };

  {
    SCOPED_TRACE("cancelled while queued");
    startUploading("a.txt");
    const auto id = submit("b.txt", access);
    EXPECT_TRUE(released.empty());
    send(CancelTransfer{id});
    expectReleasedOnce();
  }
  {
    SCOPED_TRACE("review abandoned");
    rebuild();
    send(EnqueueSubmission{{{file("a.txt")}, TransferStartPolicy::requiresReview, access}});
    settle();
    preparer->succeed();
    settle();
    EXPECT_TRUE(released.empty());
    send(CancelSelection{});
    expectReleasedOnce();
  }
  {
    SCOPED_TRACE("upload aborted to review, then cancelled");
    rebuild();
    const auto id = submit("a.txt", access);
    settle();
    preparer->succeed();
    settle();
    send(AbortUpload{TransferAbortDestination::review});
    settle();
    EXPECT_TRUE(released.empty());
    send(CancelTransfer{id});
    expectReleasedOnce();
  }
  {
    SCOPED_TRACE("completed");
    rebuild();
    submit("a.txt", access);
    settle();
    preparer->succeed();
    settle();
    engine->complete(engine->completedTransferOf(0));
    expectReleasedOnce();
    send(DismissCompletedTransfer{});
    expectReleasedOnce();
  }
  {
    SCOPED_TRACE("failure record removed");
    rebuild();
    const auto id = submit("a.txt", access);
    settle();
    preparer->succeed();
    settle();
    engine->fail("Gone.");
    settle();
    send(StartNewTransfer{});
    settle();
    EXPECT_TRUE(released.empty());  // the failure still holds it
    send(CancelTransfer{id});
    expectReleasedOnce();
  }
  {
    SCOPED_TRACE("signed out");
    rebuild();
    submit("a.txt", access);
    settle();
    store->shutDownForSignOut();
    settle();
    expectReleasedOnce();
    send(AuthenticationEnded{});
    expectReleasedOnce();
  }
}

}  // namespace
}  // namespace tavrel::testing
