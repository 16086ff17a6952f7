#include <gtest/gtest.h>

#include <QSignalSpy>
#include <string>
#include <vector>

#include "shareextension/share_sheet_view_model.h"
#include "shareextension/share_sheet_samples.h"

namespace tavrel {
namespace {

using namespace share_extension_state;
using testing::sampleFile;
using testing::sampleFolder;
using Phase = ShareSheetViewModel::Phase;
using FooterAction = ShareSheetViewModel::FooterAction;

class ShareSheetViewModelTest : public ::testing::Test {
 protected:
  ShareSheetViewModel viewModel{{[this] { calls.push_back("createLink"); }, [this] { calls.push_back("retry"); },
                                 [this] { calls.push_back("cancel"); }},
                                {}};
  std::vector<std::string> calls;
  std::vector<LoadedShareExtensionItem> items = testing::sampleItems();
};

TEST_F(ShareSheetViewModelTest, EachStateChoosesItsSectionAndFooterControl) {
  struct Case {
    ShareExtensionModel::State state;
    Phase phase;
    bool showsItems;
    FooterAction footer;
    bool footerEnabled;
    QString message;
  };
  const std::vector<Case> cases{
      {Loading{}, Phase::loading, false, FooterAction::createLink, false, {}},
      {Ready{items}, Phase::ready, true, FooterAction::createLink, true, {}},
      {HandingOff{items}, Phase::handingOff, true, FooterAction::creating, false, {}},
      {Failed{"Tavrel didn’t respond. Open the app and try again.", items}, Phase::failed, true, FooterAction::retry,
       true, QStringLiteral("Tavrel didn’t respond. Open the app and try again.")},
      {Failed{"No files were shared.", std::nullopt}, Phase::failed, false, FooterAction::retry, true,
       QStringLiteral("No files were shared.")},
      {Failed{"Empty.", std::vector<LoadedShareExtensionItem>{}}, Phase::failed, false, FooterAction::retry, true,
       QStringLiteral("Empty.")},
  };
  for (const auto& testCase : cases) {
    viewModel.show(testCase.state);
    SCOPED_TRACE(viewModel.phaseName().toStdString());
    EXPECT_EQ(viewModel.phase(), testCase.phase);
    EXPECT_EQ(viewModel.showsItems(), testCase.showsItems);
    EXPECT_EQ(viewModel.items()->rowCount(), testCase.showsItems ? 3 : 0);
    EXPECT_EQ(viewModel.footerAction(), testCase.footer);
    EXPECT_EQ(viewModel.footerActionEnabled(), testCase.footerEnabled);
    EXPECT_EQ(viewModel.failureMessage(), testCase.message);
  }
}

TEST_F(ShareSheetViewModelTest, ButtonsAndReturnReachTheModelOnlyWhereTheyShow) {
  viewModel.show(Loading{});
  viewModel.createLink();  // shown, but disabled
  viewModel.retry();
  viewModel.performDefaultAction();
  EXPECT_TRUE(calls.empty());

  viewModel.show(Ready{items});
  viewModel.retry();
  viewModel.performDefaultAction();
  EXPECT_EQ(calls, (std::vector<std::string>{"createLink"}));

  calls.clear();
  viewModel.show(HandingOff{items});
  viewModel.createLink();
  viewModel.performDefaultAction();  // Return does nothing while handing off
  viewModel.cancel();                // Escape still cancels
  EXPECT_EQ(calls, (std::vector<std::string>{"cancel"}));

  calls.clear();
  viewModel.show(Failed{"Tavrel couldn’t accept the shared items.", items});
  viewModel.createLink();
  viewModel.performDefaultAction();
  viewModel.cancel();
  EXPECT_EQ(calls, (std::vector<std::string>{"retry", "cancel"}));
}

TEST_F(ShareSheetViewModelTest, RowsStayWhileTheSameItemsAreHandedOff) {
  viewModel.show(Ready{items});
  QSignalSpy resets(viewModel.items(), &QAbstractItemModel::modelReset);
  viewModel.show(HandingOff{items});
  viewModel.show(Failed{"Tavrel didn’t respond. Open the app and try again.", items});
  EXPECT_EQ(resets.count(), 0);  // their thumbnails are not asked for again
  viewModel.show(Failed{"Gone.", std::nullopt});
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(viewModel.items()->rowCount(), 0);
}

TEST(ShareSheetSummaryTest, CountsItemsAndAddsTheKnownSizesUnlessAFolderIsAmongThem) {
  using testing::sampleFile;
  EXPECT_EQ(ShareSheetViewModel::summaryText({sampleFile("/a/empty.txt", 0, "text/plain")}), "1 item · 0 bytes");
  EXPECT_EQ(ShareSheetViewModel::summaryText({sampleFile("/a/1", std::nullopt, std::nullopt),
                                              sampleFile("/a/2", std::nullopt, std::nullopt),
                                              sampleFile("/a/3", std::nullopt, std::nullopt)}),
            "3 items · 0 bytes");
  EXPECT_EQ(ShareSheetViewModel::summaryText({sampleFile("/a/x.png", 1'200'000, "image/png"),
                                              sampleFile("/a/y", std::nullopt, std::nullopt),
                                              sampleFile("/a/z.png", 300'000, "image/png")}),
            "3 items · 1.5 MB");
  EXPECT_EQ(ShareSheetViewModel::summaryText({sampleFile("/a/x.png", 1'200'000, "image/png"), sampleFolder("/a/F")}),
            "2 items");
  EXPECT_EQ(ShareSheetViewModel::summaryText({}), "0 items · 0 bytes");
}

TEST(ShareItemRowTextTest, SizesAreWrittenInDecimalUnitsAsFileSizes) {
  const std::vector<std::pair<std::int64_t, QString>> cases{
      {0, "0 bytes"},           {1, "1 byte"},          {999, "999 bytes"},       {1000, "1 KB"},
      {1499, "1 KB"},           {1500, "2 KB"},         {999'499, "999 KB"},      {999'500, "1 MB"},
      {1'234'567, "1.2 MB"},    {2'000'000, "2 MB"},    {999'950'000, "1 GB"},    {1'250'000'000, "1.25 GB"},
      {3'000'000'000'000, "3 TB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(ShareItemListModel::byteCountText(bytes), text) << bytes;
}

TEST(ShareItemRowTextTest, TheBadgeNamesTheFolderTheExtensionOrTheType) {
  EXPECT_EQ(ShareItemListModel::typeBadgeText(sampleFolder("/a/Photos.v2")), "FOLDER");
  EXPECT_EQ(ShareItemListModel::typeBadgeText(sampleFile("/a/beach.jpeg", 1, "image/png")), "JPEG");
  EXPECT_EQ(ShareItemListModel::typeBadgeText(sampleFile("/a/scan", 1, "application/pdf")), "PDF");
  EXPECT_EQ(ShareItemListModel::typeBadgeText(sampleFile("/a/blob", 1, "application/x-no-such-type")), "FILE");
  EXPECT_EQ(ShareItemListModel::typeBadgeText(sampleFile("/a/blob", 1, std::nullopt)), "FILE");
  EXPECT_EQ(ShareItemListModel::typeBadgeText(sampleFile("/a/.profile", 1, std::nullopt)), "FILE");
}

TEST(ShareItemRowTextTest, OnlyImagesOfAKnownTypeAskForAThumbnail) {
  EXPECT_TRUE(ShareItemListModel::wantsThumbnail(sampleFile("/a/x.png", 1, "image/png")));
  EXPECT_TRUE(ShareItemListModel::wantsThumbnail(sampleFile("/a/x.svg", 1, "image/svg+xml")));
  EXPECT_FALSE(ShareItemListModel::wantsThumbnail(sampleFile("/a/x.txt", 1, "text/plain")));
  EXPECT_FALSE(ShareItemListModel::wantsThumbnail(sampleFile("/a/x.mp4", 1, "video/mp4")));
  EXPECT_FALSE(ShareItemListModel::wantsThumbnail(sampleFile("/a/x.png", 1, std::nullopt)));
  EXPECT_FALSE(ShareItemListModel::wantsThumbnail(sampleFile("/a/x.png", 1, "image/x-no-such-type")));
  EXPECT_FALSE(ShareItemListModel::wantsThumbnail(sampleFolder("/a/Pictures")));
}

TEST(ShareItemListModelTest, RowsCarryWhatEachRowShows) {
  ShareItemListModel model;
  model.setItems({sampleFile("/a/b/Harbour.jpeg", 2'480'000, "image/jpeg"), sampleFolder("/a/Launch")});
  const auto row = [&](int index, ShareItemListModel::Role role) { return model.data(model.index(index), role); };
  EXPECT_EQ(row(0, ShareItemListModel::displayNameRole).toString(), "Harbour.jpeg");
  EXPECT_EQ(row(0, ShareItemListModel::filePathRole).toString(), "/a/b/Harbour.jpeg");
  EXPECT_EQ(row(0, ShareItemListModel::sizeTextRole).toString(), "2.5 MB");
  EXPECT_TRUE(row(0, ShareItemListModel::wantsThumbnailRole).toBool());
  EXPECT_EQ(row(0, ShareItemListModel::iconNameRole).toString(), "image-jpeg");
  EXPECT_EQ(row(0, ShareItemListModel::genericIconNameRole).toString(), "image-x-generic");
  EXPECT_TRUE(row(1, ShareItemListModel::isFolderRole).toBool());
  EXPECT_EQ(row(1, ShareItemListModel::sizeTextRole).toString(), "");  // the badge alone
  EXPECT_EQ(row(1, ShareItemListModel::iconNameRole).toString(), "folder");
  EXPECT_FALSE(model.data(model.index(2), ShareItemListModel::displayNameRole).isValid());
  EXPECT_EQ(model.roleNames().value(ShareItemListModel::typeBadgeRole), "typeBadge");
}

}  // namespace
}  // namespace tavrel
