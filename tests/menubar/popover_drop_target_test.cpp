#include <gtest/gtest.h>

#include <QUrl>

#include "menubar/popover_drop_target.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

class PopoverDropTargetTest : public ::testing::Test {
 public:
  QUrl file(const std::string& name) {
    return QUrl::fromLocalFile(QString::fromStdString(directory.writeFile(name, "x").string()));
  }

  testing::TemporaryDirectory directory;
  bool mayDrop = true;
  std::vector<bool> targeted;
  std::vector<std::vector<std::filesystem::path>> drops;
  PopoverDropTarget target{{[this] { return mayDrop; }, [this](bool on) { targeted.push_back(on); },
                            [this](std::vector<std::filesystem::path> paths) { drops.push_back(std::move(paths)); }}};
};

TEST_F(PopoverDropTargetTest, ExistingFilesAreTakenAndTargetingIsReportedOncePerChange) {
  const QList<QUrl> urls{file("a.txt"), QUrl::fromLocalFile(QString::fromStdString(directory.path().string()))};
  EXPECT_TRUE(target.dragUpdated(urls));
  EXPECT_TRUE(target.dragUpdated(urls));
  EXPECT_TRUE(target.dropped(urls));
  EXPECT_EQ(targeted, (std::vector<bool>{true, false}));
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].size(), 2u);
}

TEST_F(PopoverDropTargetTest, AnythingButExistingLocalFilesIsRefusedAsAWhole) {
  EXPECT_FALSE(validatedFileURLs({}));
  EXPECT_FALSE(validatedFileURLs({QUrl("https://example.com/a.txt")}));
  EXPECT_FALSE(validatedFileURLs({file("a.txt"), QUrl("https://example.com/a.txt")}));
  EXPECT_FALSE(validatedFileURLs({QUrl::fromLocalFile("/nonexistent/zzz")}));
  const auto dangling = directory.path() / "dangling";
  std::filesystem::create_symlink(directory.path() / "gone.txt", dangling);
  EXPECT_FALSE(validatedFileURLs({QUrl::fromLocalFile(QString::fromStdString(dangling.string()))}));
  EXPECT_FALSE(target.dragUpdated({QUrl("https://example.com/")}));
  EXPECT_TRUE(targeted.empty());
}

TEST_F(PopoverDropTargetTest, PermissionWithdrawnDuringTheDragEndsTheTargeting) {
  const QList<QUrl> urls{file("a.txt")};
  EXPECT_TRUE(target.dragUpdated(urls));
  mayDrop = false;
  EXPECT_FALSE(target.dragUpdated(urls));
  EXPECT_FALSE(target.dropped(urls));
  EXPECT_EQ(targeted, (std::vector<bool>{true, false}));
  EXPECT_TRUE(drops.empty());
}

TEST_F(PopoverDropTargetTest, AFileDeletedAfterTheDragEnteredIsRefusedAtTheDrop) {
  const auto url = file("a.txt");
  EXPECT_TRUE(target.dragUpdated({url}));
  std::filesystem::remove(url.toLocalFile().toStdString());
  EXPECT_FALSE(target.dropped({url}));
  EXPECT_EQ(targeted, (std::vector<bool>{true, false}));
  target.dragEnded();
  EXPECT_EQ(targeted.size(), 2u);
}

// A file manager writes such a name percent-escaped byte for byte; the drop must name that file,
// not the U+FFFD spelling QUrl::toLocalFile would give.
TEST_F(PopoverDropTargetTest, ANameThatIsNotUTF8IsDroppedWithItsRealBytes) {
  const auto path = directory.writeFile("caf\xE9 menu.txt", "x");
  QByteArray encoded = "file://";
  for (const char c : path.string()) {
    const auto byte = static_cast<unsigned char>(c);
    encoded += byte < 0x80 && c != ' ' ? QByteArray(1, c) : "%" + QByteArray::number(byte, 16).toUpper();
  }
  const QUrl url = QUrl::fromEncoded(encoded);
  ASSERT_TRUE(target.dropped({url}));
  EXPECT_EQ(drops.at(0), (std::vector<std::filesystem::path>{path}));
}

}  // namespace
}  // namespace tavrel
