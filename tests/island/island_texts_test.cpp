#include "island/island_texts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tavrel {
namespace {

namespace auth = authentication_state;

PreparedTransfer prepared(std::vector<std::int64_t> sizes) {
  PreparedTransfer transfer;
  transfer.title = "Holiday";
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    TransferFile file;
    file.sourceURL = "/tmp/holiday/photo-" + std::to_string(i) + ".jpg";
    file.size = sizes[i];
    transfer.files.push_back(file);
  }
  return transfer;
}

TransferReviewState review(TransferReviewPreparation preparation) {
  TransferReviewState state;
  state.selection.items = {{"/tmp/a.png", "a.png", TransferItemKind::file, TransferPreviewKind::image, 10},
                           {"/tmp/b", "b", TransferItemKind::folder, TransferPreviewKind::none, 0}};
  state.preparation = std::move(preparation);
  return state;
}

// The same rule wherever the island shows a percentage: floor of the fraction, held to 0...100.
TEST(IslandTextsTest, UploadPercentRoundsDownAndStaysWithinItsBounds) {
  EXPECT_EQ(islandUploadPercent(-0.5), 0);
  EXPECT_EQ(islandUploadPercent(0), 0);
  EXPECT_EQ(islandUploadPercent(0.004), 0);
  EXPECT_EQ(islandUploadPercent(0.999), 99);  // never reads complete before it is
  EXPECT_EQ(islandUploadPercent(1), 100);
  EXPECT_EQ(islandUploadPercent(1.7), 100);
  EXPECT_EQ(islandUploadPercent(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(islandUploadPercent(std::numeric_limits<double>::infinity()), 100);
  EXPECT_EQ(clampedUploadFraction(-1), 0);
  EXPECT_EQ(clampedUploadFraction(2), 1);
  EXPECT_EQ(clampedUploadFraction(0.25), 0.25);
}

TEST(IslandTextsTest, TimeLeftWaitsForARateAndNeverGoesNegative) {
  UploadProgressSnapshot snapshot;
  snapshot.preparedTransfer = prepared({1'000'000, 500'000});
  snapshot.bytesUploaded = 500'000;
  snapshot.bytesPerSecond = 0;
  EXPECT_EQ(uploadTimeLeftText(snapshot), "Calculating...");
  snapshot.bytesPerSecond = 10'000;
  EXPECT_EQ(uploadTimeLeftText(snapshot), "1m 40s");
  snapshot.bytesUploaded = 2'000'000;  // more than the files hold
  EXPECT_EQ(uploadTimeLeftText(snapshot), "0 sec");
}

TEST(IslandTextsTest, TheCurrentFileNeedsAnIndexWithinTheFiles) {
  UploadProgressSnapshot snapshot;
  snapshot.preparedTransfer = prepared({10, 20});
  EXPECT_EQ(currentUploadFile(snapshot), nullptr);
  snapshot.currentFileIndex = 1;
  ASSERT_NE(currentUploadFile(snapshot), nullptr);
  EXPECT_EQ(currentUploadFile(snapshot)->size, 20);
  snapshot.currentFileIndex = 2;
  EXPECT_EQ(currentUploadFile(snapshot), nullptr);
  snapshot.currentFileIndex = -1;
  EXPECT_EQ(currentUploadFile(snapshot), nullptr);
}

TEST(IslandTextsTest, ExpiryIsSingularForOneDay) {
  EXPECT_EQ(expiryText(1), "1 day");
  EXPECT_EQ(expiryText(7), "7 days");
  EXPECT_EQ(expiryText(0), "0 days");
}

TEST(IslandTextsTest, TheSignInStripStatesEachSituation) {
  const auto status = [](AuthenticationState state) { return islandAuthenticationStatus(state); };
  EXPECT_EQ(status(auth::SignedOut{}).text, "Sign In");
  EXPECT_EQ(status(auth::SignedOut{}).symbol, "person.fill");
  EXPECT_EQ(status(auth::SignedOut{}).accessibilityLabel, "Sign in to Tavrel");
  EXPECT_TRUE(status(auth::Authorizing{}).showsProgress);
  EXPECT_EQ(status(auth::Authorizing{}).accessibilityLabel, "Signing in to Tavrel");
  EXPECT_EQ(status(auth::Restoring{}).text, "Loading");
  EXPECT_EQ(status(auth::Restoring{}).accessibilityLabel, "Restoring Tavrel sign in");
  // The message itself never shows.
  const auto unavailable = status(auth::TemporarilyUnavailable{"Secret details"});
  EXPECT_EQ(unavailable.text, "Retry");
  EXPECT_EQ(unavailable.symbol, "arrow.clockwise");
  EXPECT_EQ(unavailable.accessibilityLabel, "Tavrel unavailable. Press to retry.");

  AuthenticatedAccount account;
  account.bootstrap.permissions.canInitiateTransfer = false;
  const auto forbidden = status(auth::Authenticated{account});
  EXPECT_EQ(forbidden.text, "Sending Unavailable");
  EXPECT_EQ(forbidden.symbol, "exclamationmark.triangle.fill");
  EXPECT_EQ(forbidden.accessibilityLabel, "Sending is unavailable for this workspace");
  account.bootstrap.permissions.canInitiateTransfer = true;
  const auto allowed = status(auth::Authenticated{account});
  EXPECT_EQ(allowed.text, "");
  EXPECT_EQ(allowed.symbol, "");
  EXPECT_EQ(allowed.accessibilityLabel, "Tavrel authenticated");
}

TEST(IslandTextsTest, TheCompactReviewLineReadsFailedForAFailedPreparationOrAFailedUpload) {
  EXPECT_EQ(compactReviewStatus(review(review_preparation::Calculating{})).text, "Preparing…");
  EXPECT_EQ(compactReviewStatus(review(review_preparation::Calculating{})).icon, CompactReviewStatus::Icon::progress);
  EXPECT_EQ(compactReviewStatus(review(review_preparation::Failed{"x"})).text, "Transfer failed");
  auto ready = review(review_preparation::Ready{prepared({10})});
  EXPECT_EQ(compactReviewStatus(ready).text, "Ready to upload");
  EXPECT_EQ(compactReviewStatus(ready).icon, CompactReviewStatus::Icon::ready);
  ready.retryPreparedTransfer = prepared({10});
  EXPECT_EQ(compactReviewStatus(ready).text, "Transfer failed");
  EXPECT_EQ(compactReviewStatus(ready).icon, CompactReviewStatus::Icon::warning);
}

TEST(IslandTextsTest, ReviewTextsFollowThePreparation) {
  auto calculating = review(review_preparation::Calculating{});
  EXPECT_EQ(reviewDisplayName(calculating), "a.png");
  EXPECT_EQ(reviewSizeText(calculating), "Calculating...");
  EXPECT_EQ(reviewStartHint(calculating), "Wait for the selected files to finish calculating.");
  EXPECT_FALSE(reviewProblemMessage(calculating));

  auto failed = review(review_preparation::Failed{"Can’t read a.png."});
  EXPECT_EQ(reviewSizeText(failed), "—");
  EXPECT_EQ(reviewProblemMessage(failed), "Can’t read a.png.");
  failed.errorMessage = "The network went away.";  // the upload's error comes first
  EXPECT_EQ(reviewProblemMessage(failed), "The network went away.");

  auto ready = review(review_preparation::Ready{prepared({1'000'000, 250'000})});
  EXPECT_EQ(reviewSizeText(ready), "1.3 MB");
  EXPECT_EQ(reviewStartHint(ready), "Prepares and uploads the selected files.");
  ready.retryPreparedTransfer = prepared({10});
  EXPECT_EQ(reviewStartHint(ready), "Resumes the existing upload.");

  TransferReviewState empty;
  EXPECT_EQ(reviewDisplayName(empty), "Untitled Transfer");
}

TEST(IslandTextsTest, ItemCardsReadTheirKindAndName) {
  EXPECT_EQ(itemCardAccessibilityLabel({"/a.png", "a.png", TransferItemKind::file, TransferPreviewKind::image, 1}),
            "Image, a.png");
  EXPECT_EQ(itemCardAccessibilityLabel({"/a.mov", "a.mov", TransferItemKind::file, TransferPreviewKind::video, 1}),
            "Video, a.mov");
  EXPECT_EQ(itemCardAccessibilityLabel({"/b", "b", TransferItemKind::folder, TransferPreviewKind::none, 0}),
            "Folder, b");
  EXPECT_EQ(itemCardAccessibilityLabel({"/c.txt", "c.txt", TransferItemKind::file, TransferPreviewKind::none, 1}),
            "File, c.txt");
}

TEST(IslandTextsTest, TheCarouselScrollsOnlyAsFarAsItsItemsOverflow) {
  EXPECT_EQ(carouselLastScrollIndex(1, 200), 0);
  EXPECT_EQ(carouselLastScrollIndex(5, 0), 0);   // not measured yet
  EXPECT_EQ(carouselLastScrollIndex(3, 200), 1);  // 3 × 90 + 2 × 8 − 200 = 86 → ceil(86 ÷ 98)
  EXPECT_EQ(carouselLastScrollIndex(2, 462), 0);  // everything fits
  EXPECT_EQ(carouselLastScrollIndex(10, 90), 9);  // held to the last item
}

}  // namespace
}  // namespace tavrel
