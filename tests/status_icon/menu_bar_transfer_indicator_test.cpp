#include "menubar/status_icon/menu_bar_transfer_indicator.h"

#include <gtest/gtest.h>

#include <limits>
#include <unordered_set>

namespace tavrel {
namespace {

using Outcome = TransferTerminalSignal::Outcome;
namespace indicator = menu_bar_indicator;

TransferFeatureState uploadingAt(double progress) {
  ActiveUpload upload;
  upload.runID = UploadRunID::generate();
  upload.progress.progress = progress;
  TransferFeatureState state;
  state.phase = transfer_phase::Uploading{upload};
  state.currentTransferID = TransferItemID::generate();
  return state;
}

PreparedTransfer onePreparedFile() {
  PreparedTransfer prepared;
  prepared.title = "notes.txt";
  prepared.files.push_back({"ID", "/x/notes.txt", "notes.txt", 5, "text/plain", {}});
  return prepared;
}

TransferFeatureState reviewing(TransferReviewPreparation preparation, bool resumesFailedUpload = false) {
  TransferReviewState review;
  review.preparation = std::move(preparation);
  if (resumesFailedUpload) review.retryPreparedTransfer = onePreparedFile();
  TransferFeatureState state;
  state.phase = transfer_phase::Reviewing{review};
  state.currentTransferID = TransferItemID::generate();
  return state;
}

TransferTerminalSignal signal(Outcome outcome) {
  return {TransferItemID::generate(), UploadRunID::generate(), outcome};
}

MenuBarTransferIndicator derive(const TransferFeatureState& state,
                                const std::unordered_set<TransferItemID>& seen = {}) {
  return menuBarTransferIndicator(state, seen);
}

TEST(MenuBarTransferIndicatorTest, UploadPercentageIsTheFlooredFractionHeldToItsRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  struct Case {
    double progress;
    int percentage;
  };
  for (const auto& [progress, percentage] :
       {Case{0.004, 0}, Case{0, 0}, Case{-0.5, 0}, Case{0.019, 1}, Case{0.5, 50}, Case{0.999, 99},
        Case{1, 100}, Case{1.3, 100}, Case{nan, 0}, Case{infinity, 0}, Case{-infinity, 0},
        Case{std::numeric_limits<double>::max(), 100}, Case{std::numeric_limits<double>::denorm_min(), 0}}) {
    SCOPED_TRACE(progress);
    EXPECT_EQ(derive(uploadingAt(progress)), MenuBarTransferIndicator(indicator::Uploading{percentage}));
  }
  EXPECT_EQ(indicator::uploading(150).percentage, 100);
  EXPECT_EQ(indicator::uploading(-3).percentage, 0);
}

TEST(MenuBarTransferIndicatorTest, EqualityComparesCaseAndPercentage) {
  EXPECT_EQ(MenuBarTransferIndicator(indicator::uploading(50)),
            MenuBarTransferIndicator(indicator::uploading(50)));
  EXPECT_NE(MenuBarTransferIndicator(indicator::uploading(50)),
            MenuBarTransferIndicator(indicator::uploading(51)));
  EXPECT_NE(MenuBarTransferIndicator(indicator::uploading(0)), MenuBarTransferIndicator(indicator::Idle{}));
  EXPECT_NE(MenuBarTransferIndicator(indicator::Failed{}), MenuBarTransferIndicator(indicator::Completed{}));
}

TEST(MenuBarTransferIndicatorTest, AnUploadShowsItsProgressWhateverSignalsWait) {
  auto state = uploadingAt(0.42);
  state.terminalSignals = {signal(Outcome::failed), signal(Outcome::completed)};
  EXPECT_EQ(derive(state), MenuBarTransferIndicator(indicator::uploading(42)));
}

TEST(MenuBarTransferIndicatorTest, AReviewShowsPreparationAndReadinessBeforeAnySignal) {
  auto calculating = reviewing(review_preparation::Calculating{ReviewPreparationID::generate()});
  calculating.terminalSignals = {signal(Outcome::failed)};
  EXPECT_EQ(derive(calculating), MenuBarTransferIndicator(indicator::Preparing{}));

  auto ready = reviewing(review_preparation::Ready{onePreparedFile()});
  ready.terminalSignals = {signal(Outcome::failed)};
  EXPECT_EQ(derive(ready), MenuBarTransferIndicator(indicator::Ready{}));
}

TEST(MenuBarTransferIndicatorTest, AReviewThatFailedOrResumesAFailedUploadFallsBackToTheSignals) {
  auto preparationFailed = reviewing(review_preparation::Failed{"“a” is a symbolic link"});
  EXPECT_EQ(derive(preparationFailed), MenuBarTransferIndicator(indicator::Idle{}));
  const auto earlier = signal(Outcome::failed);
  preparationFailed.terminalSignals = {earlier};
  EXPECT_EQ(derive(preparationFailed), MenuBarTransferIndicator(indicator::Failed{}));
  EXPECT_EQ(derive(preparationFailed, {earlier.id}), MenuBarTransferIndicator(indicator::Idle{}));

  // A ready review holding a failed upload to resume is not a fresh "ready to upload".
  auto resuming = reviewing(review_preparation::Ready{onePreparedFile()}, true);
  EXPECT_EQ(derive(resuming), MenuBarTransferIndicator(indicator::Idle{}));
  resuming.terminalSignals = {signal(Outcome::failed)};
  EXPECT_EQ(derive(resuming), MenuBarTransferIndicator(indicator::Failed{}));
}

TEST(MenuBarTransferIndicatorTest, AnUnseenFailureOutranksUnseenCompletionsUntilAcknowledged) {
  TransferFeatureState state;
  const auto first = signal(Outcome::completed);
  const auto failed = signal(Outcome::failed);
  const auto last = signal(Outcome::completed);
  state.terminalSignals = {first, failed, last};

  EXPECT_EQ(derive(state), MenuBarTransferIndicator(indicator::Failed{}));
  EXPECT_EQ(derive(state, {first.id, last.id}), MenuBarTransferIndicator(indicator::Failed{}));
  EXPECT_EQ(derive(state, {failed.id}), MenuBarTransferIndicator(indicator::Completed{}));
  EXPECT_EQ(derive(state, {first.id, failed.id}), MenuBarTransferIndicator(indicator::Completed{}));
  EXPECT_EQ(derive(state, {first.id, failed.id, last.id}), MenuBarTransferIndicator(indicator::Idle{}));
  // Identifiers of signals that are gone change nothing.
  EXPECT_EQ(derive(state, {TransferItemID::generate()}), MenuBarTransferIndicator(indicator::Failed{}));
}

TEST(MenuBarTransferIndicatorTest, ACompletedOrChoosingPhaseShowsOnlyUnseenSignals) {
  TransferFeatureState completed;
  completed.phase = transfer_phase::Completed{};
  const auto done = signal(Outcome::completed);
  completed.terminalSignals = {done};
  EXPECT_EQ(derive(completed), MenuBarTransferIndicator(indicator::Completed{}));
  EXPECT_EQ(derive(completed, {done.id}), MenuBarTransferIndicator(indicator::Idle{}));

  TransferFeatureState choosing;
  choosing.phase = transfer_phase::Choosing{};
  EXPECT_EQ(derive(choosing), MenuBarTransferIndicator(indicator::Idle{}));
  choosing.terminalSignals = {signal(Outcome::failed)};
  EXPECT_EQ(derive(choosing), MenuBarTransferIndicator(indicator::Failed{}));
}

}  // namespace
}  // namespace tavrel
