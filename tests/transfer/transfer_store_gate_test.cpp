#include <functional>

#include "transfer_store_fixture.h"

namespace tavrel::testing {
namespace {

using namespace transfer_action;

struct GatedCase {
  std::string name;
  std::function<void(TransferStoreTest&)> arrange;
  std::function<TransferAction(TransferStoreTest&)> action;
};

class TransferStoreGateTest : public TransferStoreTest {
 protected:
  void expectDropped(const GatedCase& gated) {
    SCOPED_TRACE(gated.name);
    rebuild();
    gated.arrange(*this);
    settle();
    const TransferFeatureState before = state();
    const auto preparations = preparer->requests().size();
    const auto picks = picker->requests().size();
    const auto runs = engine->runs().size();
    const auto discards = engine->discardCount();
    const auto releasedBefore = released.size();

    canSend = false;
    send(gated.action(*this));
    settle();

    EXPECT_EQ(state(), before);
    EXPECT_EQ(preparer->requests().size(), preparations);
    EXPECT_EQ(picker->requests().size(), picks);
    EXPECT_EQ(engine->runs().size(), runs);
    EXPECT_EQ(engine->discardCount(), discards);
    EXPECT_EQ(released.size(), releasedBefore);
  }
};

// Every action that starts or adds work is dropped while the account may not send, in a state
// where it would otherwise have done something; nothing is released on the way either.
TEST_F(TransferStoreGateTest, DropsEveryGatedActionWhileSendingIsNotAllowed) {
  const TransferSourceAccessID access = TransferSourceAccessID::generate();
  auto failedPreparation = [access](TransferStoreTest& t) {
    t.submit("a.txt", access);
    t.settle();
    t.preparer->fail(TransferPreparationError::noTransferableFiles());
  };
  auto idle = [](TransferStoreTest&) {};
  auto choosing = [](TransferStoreTest& t) { t.send(OpenChooser{}); };

  const std::vector<GatedCase> cases = {
      {"chooseDifferentItems", failedPreparation, [](auto&) { return ChooseDifferentItems{}; }},
      {"selectedURLs", idle,
       [](TransferStoreTest& t) { return SelectedURLs{{t.file("b.txt")}, TransferStartPolicy::requiresReview}; }},
      {"enqueueURLs", idle, [](TransferStoreTest& t) { return EnqueueURLs{{t.file("b.txt")}, TransferStartPolicy::automatic}; }},
      {"enqueueSubmission without access", idle,
       [](TransferStoreTest& t) { return EnqueueSubmission{{{t.file("b.txt")}, TransferStartPolicy::automatic, std::nullopt}}; }},
      {"retryTransfer", failedPreparation, [](TransferStoreTest& t) { return RetryTransfer{t.itemIDs.front()}; }},
      {"openChooser", idle, [](auto&) { return OpenChooser{}; }},
      {"chooseFiles", choosing, [](auto&) { return ChooseFiles{}; }},
      {"chooseFolder", choosing, [](auto&) { return ChooseFolder{}; }},
      {"chooseItems", idle, [](auto&) { return ChooseItems{}; }},
      {"startTransfer", [](TransferStoreTest& t) { t.reviewReady("a.txt"); }, [](auto&) { return StartTransfer{}; }},
      {"retryFailedTransfer", failedPreparation, [](auto&) { return RetryFailedTransfer{}; }},
      {"startNewTransfer", idle, [](auto&) { return StartNewTransfer{}; }},
  };
  for (const auto& gated : cases) expectDropped(gated);
}

TEST_F(TransferStoreGateTest, AGatedSubmissionHandsItsAccessBackExactlyOnce) {
  canSend = false;
  const TransferSourceAccessID access = TransferSourceAccessID::generate();
  send(EnqueueSubmission{{{file("a.txt")}, TransferStartPolicy::automatic, access}});
  settle();
  EXPECT_EQ(released, std::vector<TransferSourceAccessID>{access});
  EXPECT_TRUE(state().queue.empty());

  // Later passes never report it again: it was never registered.
  canSend = true;
  send(EnqueueURLs{{file("b.txt")}});
  send(CancelTransfer{state().currentTransferID.value()});
  settle();
  EXPECT_EQ(released.size(), 1u);
}

TEST_F(TransferStoreGateTest, CancellingAndAbortingStillWorkWhileSendingIsNotAllowed) {
  const auto queued = enqueue("a.txt");
  settle();
  preparer->succeed();
  settle();
  const auto waiting = enqueue("b.txt");
  canSend = false;

  send(CancelTransfer{waiting});
  EXPECT_TRUE(state().queue.empty());
  send(AbortUpload{TransferAbortDestination::review});
  settle();
  EXPECT_EQ(state().currentTransferID, queued);
  EXPECT_TRUE(isReviewReady());
  EXPECT_EQ(engine->discardCount(), 1u);
}

// ---- Identifier checks ----

TEST_F(TransferStoreGateTest, IgnoresTheResultOfASupersededPreparationPass) {
  send(OpenChooser{});
  send(SelectedURLs{{file("a.txt")}, TransferStartPolicy::requiresReview});
  const auto id = itemIDs.back();
  send(SelectedURLs{{file("a.txt"), file("b.txt")}, TransferStartPolicy::requiresReview});

  // Adding to the review keeps the item and merges the selection without repeats.
  EXPECT_EQ(state().currentTransferID, id);
  ASSERT_EQ(review().selection.items.size(), 2u);
  EXPECT_EQ(review().selection.items[1].displayName, "b.txt");
  ASSERT_EQ(preparer->requests().size(), 2u);
  EXPECT_TRUE(preparer->requests()[0].stop.stop_requested());

  preparer->fail(TransferPreparationError::noTransferableFiles(), 0);
  settle();
  EXPECT_TRUE(std::holds_alternative<review_preparation::Calculating>(review().preparation));
  EXPECT_TRUE(state().failures.empty());

  preparer->succeed(1);
  settle();
  EXPECT_TRUE(isReviewReady());
}

TEST_F(TransferStoreGateTest, IgnoresEventsOfAnEarlierRunAndOfOtherItems) {
  const auto id = failUploading("a.txt");
  send(StartTransfer{});
  settle();
  ASSERT_EQ(engine->runs().size(), 2u);
  const UploadProgressSnapshot before = upload().progress;

  engine->progress(0.5, 0);  // the failed run
  engine->complete(engine->completedTransferOf(0), 0);
  send(transfer_action::UploadEvent{TransferItemID::generate(), upload().runID,
                   upload_event::Progress{UploadProgressSnapshot{before.preparedTransfer, 1, 1, 0.01, 0}}});
  send(UploadFailed{TransferItemID::generate(), upload().runID, {"elsewhere"}});
  settle();
  EXPECT_EQ(upload().progress, before);
  EXPECT_EQ(state().currentTransferID, id);
  EXPECT_TRUE(completions.empty());

  // The current run's own progress replaces the whole snapshot; run, policy and access stay.
  UploadProgressSnapshot next = before;
  next.bytesUploaded = 40;
  next.progress = 0.4;
  next.currentFileIndex = 0;
  next.preparedTransfer.edit().title = "Renamed";
  const ActiveUpload running = upload();
  engine->progress(next, 1);
  settle();
  EXPECT_EQ(upload().progress, next);
  EXPECT_EQ(upload().runID, running.runID);
  EXPECT_EQ(upload().startPolicy, running.startPolicy);
}

TEST_F(TransferStoreGateTest, IgnoresACleanupFinishForAnotherItemOrAfterAReset) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto failed = failUploading("a.txt");
  enqueue("b.txt");
  // The queue does not move while the failed run's transfer is discarded.
  send(StartNewTransfer{});
  send(CancelTransfer{failed});
  settle();

  send(UploadCleanupFinished{TransferItemID::generate()});
  settle();
  EXPECT_EQ(state().queue.size(), 1u);

  send(AuthenticationEnded{});
  engine->finishDiscard();
  settle();
  EXPECT_EQ(state(), TransferFeatureState{});
}

// ---- Terminal signals ----

TEST_F(TransferStoreGateTest, AcknowledgingRemovesOnlyTheNamedSignals) {
  const auto first = failUploading("a.txt");
  send(CancelSelection{});
  const auto second = failUploading("b.txt");
  ASSERT_EQ(state().terminalSignals.size(), 2u);

  send(AcknowledgeTerminalSignals{{TransferItemID::generate()}});
  EXPECT_EQ(state().terminalSignals.size(), 2u);
  send(AcknowledgeTerminalSignals{{first}});
  ASSERT_EQ(state().terminalSignals.size(), 1u);
  EXPECT_EQ(state().terminalSignals.front().id, second);
}

// ---- Sign-out ----

TEST_F(TransferStoreGateTest, AuthenticationEndedStopsEverythingAndReleasesEveryAccess) {
  const auto access = TransferSourceAccessID::generate();
  const auto other = TransferSourceAccessID::generate();
  submit("a.txt", access);
  settle();
  preparer->succeed();
  settle();
  submit("b.txt", other);
  ASSERT_TRUE(activeUpload(state().phase));

  send(AuthenticationEnded{});
  EXPECT_TRUE(engine->lastRun().stop.stop_requested());
  EXPECT_EQ(state(), TransferFeatureState{});
  EXPECT_EQ(engine->discardCount(), 1u);
  ASSERT_EQ(released.size(), 2u);

  // The stopped run's late failure is not reported.
  engine->fail("cancelled");
  settle();
  EXPECT_EQ(state(), TransferFeatureState{});
  EXPECT_TRUE(notifier->notifications.empty());
  EXPECT_EQ(released.size(), 2u);
}

// The engine's discard can take as long as a hung delete: the signed-out session's work goes at
// once, and what a session signed in meanwhile starts is still there when the discard ends.
TEST_F(TransferStoreGateTest, SignOutResetsAtOnceAndLeavesWorkBegunDuringTheEnginesCleanUp) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto access = TransferSourceAccessID::generate();
  submit("a.txt", access);
  settle();
  preparer->succeed();
  settle();

  bool finished = false;
  store->shutDownForSignOut([&] { finished = true; });
  EXPECT_TRUE(engine->lastRun().stop.stop_requested());
  settle();
  EXPECT_FALSE(finished);
  EXPECT_EQ(state(), TransferFeatureState{});
  EXPECT_EQ(released, std::vector<TransferSourceAccessID>{access});

  const auto next = enqueue("b.txt");
  settle();
  engine->finishDiscard();
  settle();
  EXPECT_TRUE(finished);
  EXPECT_EQ(state().currentTransferID, next);
  EXPECT_EQ(released.size(), 1u);
}

TEST_F(TransferStoreGateTest, AnswersAfterTheStoreIsGoneAreDropped) {
  enqueue("a.txt");
  settle();
  preparer->succeed();
  store.reset();
  settle();  // must not touch the destroyed store
  EXPECT_TRUE(preparer->lastRequest().stop.stop_requested());
}

}  // namespace
}  // namespace tavrel::testing

namespace tavrel::testing {
namespace {

using namespace transfer_action;

using TransferStorePublishingTest = TransferStoreTest;

// An observer that sends an action while a change is published gets it handled right after,
// before the outer send returns, and sees every published value in order.
TEST_F(TransferStorePublishingTest, ActionsSentByObserversRunAfterTheCurrentOne) {
  std::vector<TransferPhase> seen;
  auto subscription = store->subscribe([&](const TransferFeatureState& value) {
    seen.push_back(value.phase);
    if (isChoosing(value.phase)) send(CloseChooser{});
  });
  ASSERT_EQ(seen.size(), 1u);  // the current value at once

  send(OpenChooser{});
  EXPECT_TRUE(isIdle(state().phase));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_TRUE(isChoosing(seen[1]));
  EXPECT_TRUE(isIdle(seen[2]));
}

TEST_F(TransferStorePublishingTest, AnActionThatChangesNothingPublishesNothing) {
  int changes = 0;
  auto subscription = store->subscribe([&](const TransferFeatureState&) { ++changes; });
  send(DismissCompletedTransfer{});
  send(CopyLink{});
  EXPECT_EQ(changes, 1);
}

// Cancelling the uploading item stops its run; a failure the engine reports afterwards is not
// recorded as one.
TEST_F(TransferStorePublishingTest, ALateFailureOfACancelledRunIsNotRecorded) {
  engine->setAnswersDiscardsAtOnce(false);
  const auto id = startUploading("a.txt");
  send(CancelTransfer{id});
  engine->fail("The connection was reset.");
  settle();
  EXPECT_TRUE(state().failures.empty());
  EXPECT_TRUE(notifier->notifications.empty());
  EXPECT_TRUE(activeUpload(state().phase));
  engine->finishDiscard();
  settle();
  EXPECT_TRUE(isIdle(state().phase));
}

}  // namespace
}  // namespace tavrel::testing
