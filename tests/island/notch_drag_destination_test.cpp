#include "island/notch_drag_destination.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QUrl>

#include "island/island_scene.h"

namespace tavrel {
namespace {

using testing::island::IslandScene;

// The panel's content: wider and taller than any island.
const QSizeF bounds(614, 282);
// The compact island (185 by 32) sits centred at the top: x 214.5 to 399.5.
const QPointF insideCompact(307, 10);
const QPointF outsideIsland(40, 10);

std::unique_ptr<QMimeData> filesData(const std::vector<QString>& paths) {
  auto data = std::make_unique<QMimeData>();
  QList<QUrl> urls;
  for (const auto& path : paths) urls.push_back(QUrl::fromLocalFile(path));
  data->setUrls(urls);
  return data;
}

class NotchDragDestinationTest : public ::testing::Test {
 protected:
  QStringList events() const { return scene.interactionLog; }

  IslandScene scene;
  NotchDragDestination& destination = *scene.dragDestination;
};

TEST_F(NotchDragDestinationTest, TheGateFollowsTheAccountAndThePhase) {
  scene.signOut();
  EXPECT_FALSE(destination.acceptsDrops());
  scene.signIn(false);
  EXPECT_FALSE(destination.acceptsDrops());
  scene.signIn();
  EXPECT_TRUE(destination.acceptsDrops());  // idle
  scene.openChooser();
  EXPECT_TRUE(destination.acceptsDrops());
  scene.reviewReady({"a.txt"});
  EXPECT_TRUE(destination.acceptsDrops());  // a review that waits for its start takes more
}

TEST_F(NotchDragDestinationTest, ReviewsThatStartByThemselvesOrHoldAFailedUploadTakeNothing) {
  scene.signIn();
  scene.reviewPreparing({"a.txt"});
  EXPECT_TRUE(destination.acceptsDrops());
  scene.store->send(transfer_action::CancelSelection{});
  scene.settle();
  scene.reviewFailedUpload("b.txt");
  EXPECT_FALSE(destination.acceptsDrops());
}

TEST_F(NotchDragDestinationTest, UploadsAndCompletedTransfersRefuseDrags) {
  scene.signIn();
  scene.uploading({"a.txt"}, 0.2);
  EXPECT_FALSE(destination.acceptsDrops());
  const auto data = filesData({scene.writeFile("b.txt")});
  EXPECT_FALSE(destination.dragUpdate(insideCompact, bounds, data.get()));
  scene.engine->complete(scene.engine->completedTransferOf(0));
  scene.settle();
  EXPECT_FALSE(destination.dragUpdate(QPointF(307, 10), bounds, data.get()));
  EXPECT_TRUE(events().isEmpty());
}

TEST_F(NotchDragDestinationTest, TheIslandFrameIsCentredAtTheTopAndEmptyWithoutGeometry) {
  scene.signIn();
  EXPECT_EQ(destination.islandFrame(bounds), QRectF(214.5, 0, 185, 32));
  scene.layout.setGeometry(std::nullopt);
  EXPECT_TRUE(destination.islandFrame(bounds).isEmpty());
  const auto data = filesData({scene.writeFile("a.txt")});
  EXPECT_FALSE(destination.dragUpdate(insideCompact, bounds, data.get()));
  EXPECT_FALSE(destination.performDrop(insideCompact, bounds, data.get()));
  EXPECT_TRUE(events().isEmpty());
}

TEST_F(NotchDragDestinationTest, ADragIsReportedOnceOnEnteringTheIslandAndOnceOnLeaving) {
  scene.signIn();
  const auto data = filesData({scene.writeFile("a.txt")});
  EXPECT_FALSE(destination.dragUpdate(outsideIsland, bounds, data.get()));
  EXPECT_TRUE(events().isEmpty());
  EXPECT_TRUE(destination.dragUpdate(insideCompact, bounds, data.get()));
  EXPECT_TRUE(destination.dragUpdate(insideCompact + QPointF(5, 5), bounds, data.get()));
  EXPECT_EQ(events(), QStringList{"validDragEntered"});
  EXPECT_FALSE(destination.dragUpdate(outsideIsland, bounds, data.get()));
  destination.dragExited();  // already out: nothing more
  EXPECT_EQ(events(), (QStringList{"validDragEntered", "dragExited"}));
}

TEST_F(NotchDragDestinationTest, OnlyDragsOfLocalFilesAreTaken) {
  scene.signIn();
  auto mixed = filesData({scene.writeFile("a.txt")});
  mixed->setUrls({QUrl::fromLocalFile(scene.writeFile("a.txt")), QUrl("https://example.com/b.txt")});
  EXPECT_FALSE(destination.dragUpdate(insideCompact, bounds, mixed.get()));
  QMimeData empty;
  EXPECT_FALSE(destination.dragUpdate(insideCompact, bounds, &empty));
  QMimeData text;
  text.setText("/tmp/a.txt");
  EXPECT_FALSE(destination.dragUpdate(insideCompact, bounds, &text));
  EXPECT_TRUE(events().isEmpty());
}

TEST_F(NotchDragDestinationTest, ADropReportsEveryPathInOrderAndNoExit) {
  scene.signIn();
  const auto first = scene.writeFile("b.txt");
  const auto second = scene.writeFile("a.txt");
  const auto data = filesData({first, second});
  destination.dragUpdate(insideCompact, bounds, data.get());
  EXPECT_TRUE(destination.performDrop(insideCompact, bounds, data.get()));
  ASSERT_EQ(scene.recordedInteractions.size(), 2u);
  EXPECT_EQ(scene.recordedInteractions[1],
            NotchInteraction(notch_interaction::Dropped{{first.toStdString(), second.toStdString()}}));
  EXPECT_FALSE(destination.validDragIsActive());
}

TEST_F(NotchDragDestinationTest, AFailedDropAfterEnteringReportsTheExit) {
  scene.signIn();
  const auto data = filesData({scene.writeFile("a.txt")});
  destination.dragUpdate(insideCompact, bounds, data.get());
  EXPECT_FALSE(destination.performDrop(outsideIsland, bounds, data.get()));
  EXPECT_EQ(events(), (QStringList{"validDragEntered", "dragExited"}));
  destination.click();
  EXPECT_EQ(events().last(), "click");
}

}  // namespace
}  // namespace tavrel
