#include <gtest/gtest.h>

#include "menubar/popover_height.h"
#include "menubar/popover_texts.h"
#include "platform/iso_date.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

TEST(PopoverTexts, AgesUseTheLargestWholeUnit) {
  const auto now = std::chrono::system_clock::time_point(std::chrono::hours(500'000));
  EXPECT_EQ(formatRelativeAge(now, now), "0 sec. ago");
  EXPECT_EQ(formatRelativeAge(now - 59s, now), "59 sec. ago");
  EXPECT_EQ(formatRelativeAge(now - 60s, now), "1 min. ago");
  EXPECT_EQ(formatRelativeAge(now - 2h - 59min, now), "2 hr. ago");
  EXPECT_EQ(formatRelativeAge(now - 24h, now), "1 day ago");
  EXPECT_EQ(formatRelativeAge(now - 72h, now), "3 days ago");
  EXPECT_EQ(formatRelativeAge(now - 24h * 14, now), "2 wk. ago");
  EXPECT_EQ(formatRelativeAge(now - 24h * 61, now), "2 mo. ago");
  EXPECT_EQ(formatRelativeAge(now - 24h * 800, now), "2 yr. ago");
  // A clock that runs behind the service's.
  EXPECT_EQ(formatRelativeAge(now + 3min, now), "in 3 min.");
  // Parts of a second on either side are cut, never rounded up.
  EXPECT_EQ(formatRelativeAge(now - 59s - 999ms, now + 1ms), "1 min. ago");
  EXPECT_EQ(formatRelativeAge(now - 59s - 998ms, now), "59 sec. ago");
  EXPECT_EQ(formatRelativeAge(now + 59s + 998ms, now), "in 59 sec.");
}

TEST(PopoverTexts, DatesAtTheEndsOfTheClocksRangeReadTheirRealAge) {
  using namespace std::chrono;
  // The service's oldest possible date, as the decoder takes it: the difference in nanoseconds
  // would not fit.
  const auto settled = sys_days(2026y / 12 / 9);
  const auto old = platform::parseIsoDate("1700-01-01T00:00:00Z");
  ASSERT_TRUE(old.has_value());
  EXPECT_EQ(formatRelativeAge(*old, settled), "327 yr. ago");
  EXPECT_EQ(formatRelativeAge(system_clock::time_point::max(), system_clock::time_point::min()), "in 584 yr.");
  EXPECT_EQ(formatRelativeAge(system_clock::time_point::min(), system_clock::time_point::max()), "584 yr. ago");
}

TEST(PopoverTexts, UploadPercentNeverRoundsUpAndStaysInRange) {
  EXPECT_EQ(uploadPercent(-0.5), 0);
  EXPECT_EQ(uploadPercent(0), 0);
  EXPECT_EQ(uploadPercent(0.996), 99);
  EXPECT_EQ(uploadPercent(1.0), 100);
  EXPECT_EQ(uploadPercent(1.3), 100);
  EXPECT_EQ(uploadPercent(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(PopoverTexts, UploadDetailSaysCalculatingUntilTheRateIsKnownAndNeverShowsANegativeRate) {
  UploadProgressSnapshot progress;
  TransferFile first, second;
  first.size = 2'000'000;
  second.size = 1'000'000;
  progress.preparedTransfer.edit().files = {first, second};
  progress.bytesUploaded = 1'250'000;
  progress.bytesPerSecond = -3;
  EXPECT_EQ(uploadDetailText(progress), "1.2/3 MB • Zero KB/s • Calculating…");
  progress.bytesPerSecond = 500'000;
  EXPECT_EQ(uploadDetailText(progress), "1.2/3 MB • 500 KB/s • 4s");
}

TEST(PopoverTexts, RecentSubtitleCountsFilesCompactly) {
  RecentTransfer transfer;
  const auto now = std::chrono::system_clock::time_point(std::chrono::hours(500'000));
  transfer.createdAt = now - 5min;
  transfer.totalBytes = -1;
  transfer.fileCount = 1;
  EXPECT_EQ(recentSubtitle(transfer, now), "1 file • Zero KB • 5 min. ago");
  transfer.fileCount = 1'234;
  transfer.totalBytes = 3'400'000;
  EXPECT_EQ(recentSubtitle(transfer, now), "1.2K files • 3.4 MB • 5 min. ago");
  transfer.fileCount = 2'000;
  EXPECT_EQ(recentSubtitle(transfer, now), "2K files • 3.4 MB • 5 min. ago");
}

TEST(PopoverTexts, SummariesNameWhatIsSelectedWithTheCataloguesPluralForms) {
  const auto item = [](TransferItemKind kind) { return SelectedTransferItem{"/home/ada/x", "x", kind}; };
  TransferReviewState review;
  EXPECT_EQ(selectionSummaryText(review.selection), "0 files");
  review.selection.items = {item(TransferItemKind::file)};
  EXPECT_EQ(selectionSummaryText(review.selection), "1 file");
  review.selection.items = {item(TransferItemKind::folder), item(TransferItemKind::folder)};
  EXPECT_EQ(selectionSummaryText(review.selection), "2 folders");
  PreparedTransfer prepared;
  prepared.files.edit([](auto& files) { files.resize(1'500); });
  review.preparation = review_preparation::Ready{prepared};
  EXPECT_EQ(reviewSummaryText(review), "2 folders (1.5K files)");
  review.selection.items.push_back(item(TransferItemKind::file));
  review.preparation = review_preparation::Calculating{ReviewPreparationID::generate()};
  EXPECT_EQ(reviewSummaryText(review), "3 items");
}

TEST(PopoverHeight, FollowsWhatThePopoverLists) {
  auto height = [](bool canSend, std::size_t activity, std::size_t recent, bool placeholder = false) {
    return popoverContentHeight({canSend, activity, recent, placeholder});
  };
  EXPECT_EQ(height(false, 0, 0), 148);        // signed out, nothing listed
  EXPECT_EQ(height(false, 0, 0, true), 270);  // a placeholder needs the room
  EXPECT_EQ(height(true, 0, 0), 270);
  EXPECT_EQ(height(true, 0, 0, true), 270);  // still loading
  EXPECT_EQ(height(true, 1, 0), 132);
  EXPECT_EQ(height(false, 0, 2), 176);
  EXPECT_EQ(height(true, 1, 1), 212);
  EXPECT_EQ(height(true, 3, 5), 360);
  EXPECT_EQ(height(true, 0, 5), 332);
  EXPECT_EQ(height(true, 0, 6), 360);
}

}  // namespace
}  // namespace tavrel
