#include <gtest/gtest.h>

#include <stop_token>

#include "support/temporary_directory.h"
#include "transfer/prepared_transfer.h"
#include "transfer/transfer_clock.h"
#include "transfer/transfer_defaults.h"
#include "transfer/transfer_feature_state.h"
#include "transfer/transfer_notifying.h"
#include "transfer/transfer_preparation_error.h"
#include "transfer/transfer_selection.h"
#include "transfer/upload_progress_snapshot.h"

namespace tavrel {
namespace {

using testing::TemporaryDirectory;

SelectedTransferItem item(const std::string& name, TransferItemKind kind = TransferItemKind::file) {
  return {std::filesystem::path("/x") / name, name, kind, TransferPreviewKind::none, 0};
}

TransferSelection selectionOf(std::size_t files, std::size_t folders = 0) {
  TransferSelection selection;
  for (std::size_t i = 0; i < files; ++i) selection.items.push_back(item("f" + std::to_string(i)));
  for (std::size_t i = 0; i < folders; ++i) selection.items.push_back(item("d" + std::to_string(i), TransferItemKind::folder));
  return selection;
}

PreparedTransfer preparedWith(std::size_t fileCount, std::int64_t size = 10) {
  PreparedTransfer transfer;
  for (std::size_t i = 0; i < fileCount; ++i) {
    transfer.files.push_back({"ID", "/x/f", "f", size, "application/octet-stream", {}});
  }
  return transfer;
}

// ---- Selections ----

TEST(TransferSelectionTest, BuildsItemsFromPathsOnDisk) {
  TemporaryDirectory directory;
  const auto text = directory.writeFile("notes.txt", "hello");
  const auto movie = directory.writeFile("clip.mov", "moov");
  const auto folder = directory.makeDirectory("photos");

  auto selection = TransferSelection::fromURLs({text, directory.path() / "photos" / ".." / "notes.txt", movie, folder});
  ASSERT_TRUE(selection);
  ASSERT_EQ(selection->items.size(), 3u);  // the two spellings of notes.txt are one item
  EXPECT_EQ(selection->items[0].displayName, "notes.txt");
  EXPECT_EQ(selection->items[0].size, 5);
  EXPECT_EQ(selection->items[0].kind, TransferItemKind::file);
  EXPECT_EQ(selection->items[1].previewKind, TransferPreviewKind::video);
  EXPECT_EQ(selection->items[2].kind, TransferItemKind::folder);
  EXPECT_EQ(selection->items[2].size, 0);
  EXPECT_EQ(selection->items[2].previewKind, TransferPreviewKind::none);
  EXPECT_EQ(selection->summaryText(), "3 items");
}

TEST(TransferSelectionTest, OneUnusablePathVoidsTheWholeList) {
  TemporaryDirectory directory;
  const auto text = directory.writeFile("notes.txt", "hello");
  EXPECT_FALSE(TransferSelection::fromURLs({}));
  EXPECT_FALSE(TransferSelection::fromURLs({text, directory.path() / "missing"}));
  EXPECT_FALSE(TransferSelection::fromURLs({text, "relative/notes.txt"}));
}

TEST(TransferSelectionTest, TheRootIsNamedUntitled) {
  auto selection = TransferSelection::fromURLs({"/"});
  ASSERT_TRUE(selection);
  EXPECT_EQ(selection->items[0].displayName, "Untitled");
  EXPECT_EQ(standardizedFilePath("/a/b/"), std::filesystem::path("/a/b"));
}

TEST(TransferSelectionTest, MergingKeepsTheFirstOccurrenceOfEachPath) {
  TransferSelection left{{item("a"), item("b")}};
  TransferSelection right{{item("b"), item("c"), item("c")}};
  const auto merged = left.merging(right);
  ASSERT_EQ(merged.items.size(), 3u);
  EXPECT_EQ(merged.items[2].displayName, "c");
}

TEST(TransferSelectionTest, SummaryTextNamesTheKindOfItems) {
  EXPECT_EQ(selectionOf(0).summaryText(), "0 files");
  EXPECT_EQ(selectionOf(1).summaryText(), "1 file");
  EXPECT_EQ(selectionOf(0, 1).summaryText(), "1 folder");
  EXPECT_EQ(selectionOf(0, 3).summaryText(), "3 folders");
  EXPECT_EQ(selectionOf(1, 1).summaryText(), "2 items");
  EXPECT_EQ(selectionOf(1500).summaryText(), "1.5K files");
}

TEST(TransferSelectionTest, PreviewKindComesFromTheTypeOrTheExtension) {
  EXPECT_EQ(transferPreviewKind(std::nullopt, "mov", false), TransferPreviewKind::video);
  EXPECT_EQ(transferPreviewKind(std::nullopt, "png", false), TransferPreviewKind::image);
  EXPECT_EQ(transferPreviewKind(std::string("image/jpeg"), "mov", false), TransferPreviewKind::image);
  EXPECT_EQ(transferPreviewKind(std::nullopt, "png", true), TransferPreviewKind::none);
  EXPECT_EQ(transferPreviewKind(std::nullopt, "", false), TransferPreviewKind::none);
}

// ---- Defaults, snapshots, errors, notifications ----

TEST(TransferDefaultsTest, ComeFromTheBootstrapOnlyForAKnownRegion) {
  AppBootstrap::TransferSettings::Defaults bootstrap{"eu", 14, true, true, "anyone", false};
  const auto defaults = TransferDefaults::fromBootstrapDefaults(bootstrap);
  ASSERT_TRUE(defaults);
  EXPECT_EQ(*defaults, (TransferDefaults{14, TransferRegion::eu, true, true, "anyone", true}));
  bootstrap.region = "apac";
  EXPECT_FALSE(TransferDefaults::fromBootstrapDefaults(bootstrap));
  EXPECT_EQ(rawValue(TransferRegion::na), "na");
  EXPECT_FALSE(transferRegionFromRawValue("NA"));
}

TEST(UploadProgressSnapshotTest, EstimatesTheTimeLeftAndNamesTheFile) {
  UploadProgressSnapshot snapshot{preparedWith(2, 500), 400, 100, 0.4, std::nullopt};
  EXPECT_EQ(snapshot.estimatedSecondsRemaining(), 6.0);
  EXPECT_FALSE(snapshot.fileCountText());
  snapshot.currentFileIndex = 1;
  EXPECT_EQ(snapshot.fileCountText(), "2 of 2");
  snapshot.bytesUploaded = 1000;
  EXPECT_EQ(snapshot.estimatedSecondsRemaining(), 0.0);
  snapshot.bytesUploaded = 1200;  // more than the total never gives a negative estimate
  EXPECT_EQ(snapshot.estimatedSecondsRemaining(), 0.0);
  snapshot.bytesPerSecond = 0;
  EXPECT_FALSE(snapshot.estimatedSecondsRemaining());
}

// A prepared transfer is copied from preparation to the store, the engine, every progress report
// and the completed transfer: its files must travel shared, not copied, yet compare by contents.
TEST(TransferFileListTest, CopiesShareTheFilesAndAnEditCopiesOnlyTheEditedList) {
  const PreparedTransfer prepared = preparedWith(3, 7);
  const PreparedTransfer copy = prepared;  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_TRUE(copy.files.sharesWith(prepared.files));
  EXPECT_EQ(&copy.files[0], &prepared.files[0]);
  EXPECT_EQ(copy.totalBytes(), 21);

  const PreparedTransfer rebuilt = preparedWith(3, 7);
  EXPECT_FALSE(rebuilt.files.sharesWith(prepared.files));
  EXPECT_EQ(rebuilt, prepared);  // equal by contents

  PreparedTransfer edited = prepared;
  edited.files.edit([](auto& files) { files[1].size = 100; });
  EXPECT_FALSE(edited.files.sharesWith(prepared.files));
  EXPECT_EQ(edited.totalBytes(), 114);
  EXPECT_EQ(prepared.files[1].size, 7);
  EXPECT_EQ(prepared.totalBytes(), 21);
  EXPECT_NE(edited, prepared);

  edited.files.push_back({"ID", "/x/g", "g", 6, "text/plain", {}});
  EXPECT_EQ(edited.files.size(), 4u);
  EXPECT_EQ(edited.totalBytes(), 120);
  EXPECT_TRUE(PreparedTransfer{}.files.empty());
  EXPECT_EQ(PreparedTransfer{}.totalBytes(), 0);
}

TEST(TransferPreparationErrorTest, TextsUseTypographicQuotes) {
  EXPECT_EQ(TransferPreparationError::cannotRead("a.txt").localizedDescription(),
            "Tavrel couldn\u2019t read \u201Ca.txt\u201D. Check its permissions and try again.");
  EXPECT_EQ(TransferPreparationError::unsupportedSymbolicLink("l").localizedDescription(),
            "\u201Cl\u201D is a symbolic link and can\u2019t be transferred securely.");
  EXPECT_EQ(TransferPreparationError::noTransferableFiles().localizedDescription(),
            "No transferable files were found in this selection.");
  EXPECT_NE(TransferPreparationError::cannotRead("a"), TransferPreparationError::unsupportedSymbolicLink("a"));
}

TEST(TransferNotificationTest, OutcomeRawValues) {
  EXPECT_EQ(transferNotificationOutcomeFromRawValue("completed"), TransferNotification::Outcome::completed);
  EXPECT_EQ(transferNotificationOutcomeFromRawValue("failed"), TransferNotification::Outcome::failed);
  EXPECT_FALSE(transferNotificationOutcomeFromRawValue("Failed"));
  EXPECT_EQ(rawValue(TransferNotification::Outcome::failed), "failed");
}

TEST(SystemTransferClockTest, AStoppedSleepEndsAsCancelled) {
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(SystemTransferClock{}.sleep(std::chrono::hours(1), stop.get_token()));
}

// ---- Derived queries of the state ----

RecoverableTransferFailure failureOf(TransferItemID id, std::optional<UploadRunID> run) {
  RecoverableTransferFailure failure;
  failure.id = id;
  failure.runID = run;
  return failure;
}

TEST(TransferFeatureStateTest, FailureForARunIsTheNewestWithThatRun) {
  const auto run = UploadRunID::generate();
  TransferFeatureState state;
  auto first = failureOf(TransferItemID::generate(), run);
  first.message = "first";
  auto second = failureOf(TransferItemID::generate(), run);
  second.message = "second";
  state.failures = {first, second, failureOf(TransferItemID::generate(), std::nullopt)};
  EXPECT_EQ(state.failure(run)->message, "second");
  EXPECT_FALSE(state.failure(UploadRunID::generate()));
}

TEST(TransferFeatureStateTest, ActivityListsTheActiveItemTheQueueAndNewestFailuresFirst) {
  const auto current = TransferItemID::generate();
  const auto queued = TransferItemID::generate();
  const auto a = TransferItemID::generate();
  const auto b = TransferItemID::generate();
  TransferFeatureState state;
  EXPECT_FALSE(state.hasActivity());

  state.currentTransferID = current;
  state.phase = transfer_phase::Reviewing{};
  state.queue.push_back({queued, {}, TransferStartPolicy::automatic, {}, std::nullopt});
  state.failures = {failureOf(a, std::nullopt), failureOf(b, std::nullopt)};
  EXPECT_EQ(state.allItemIDs(), (std::vector<TransferItemID>{current, queued, b, a}));

  // A current item that is also listed as a failure is not active.
  state.failures.push_back(failureOf(current, std::nullopt));
  EXPECT_FALSE(state.activeTransferID());
  state.failures.clear();
  state.queue.clear();
  state.phase = transfer_phase::Completed{};
  EXPECT_FALSE(state.activeTransferID());
  EXPECT_FALSE(state.hasActivity());
}

TEST(TransferReviewStateTest, SummaryAndTotalsFollowTheDisplayedTransfer) {
  TransferReviewState review;
  review.selection = selectionOf(0, 2);
  review.preparation = review_preparation::Calculating{ReviewPreparationID::generate()};
  EXPECT_EQ(review.summaryText(), "2 folders");
  EXPECT_FALSE(review.preparedTotalBytes());

  review.preparation = review_preparation::Ready{preparedWith(1)};
  EXPECT_EQ(review.summaryText(), "2 folders (1 file)");
  EXPECT_EQ(review.preparedTotalBytes(), 10);

  review.retryPreparedTransfer = preparedWith(1500);
  EXPECT_EQ(review.summaryText(), "2 folders (1.5K files)");
  EXPECT_EQ(review.preparedTotalBytes(), 15000);

  review.selection = selectionOf(1);
  review.retryPreparedTransfer.reset();
  EXPECT_EQ(review.summaryText(), "1 file");
  review.preparation = review_preparation::Ready{preparedWith(0)};
  EXPECT_EQ(review.preparedTotalBytes(), 0);
}

}  // namespace
}  // namespace tavrel
