#include "island/notch_window_controller.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QQmlEngine>
#include <QScreen>
#include <QUrl>
#include <QtQml/qqmlextensionplugin.h>

#include "island/island_scene.h"
#include "ui/interface_setup.h"

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_IslandPlugin)

namespace tavrel {
namespace {

using testing::island::IslandScene;

class NotchWindowControllerTest : public ::testing::Test {
 protected:
  NotchWindowControllerTest() { ui::prepareEngine(engine); }

  bool isSignedOut() const {
    return std::holds_alternative<authentication_state::SignedOut>(scene.authenticationStore->state());
  }

  IslandScene scene;
  QQmlEngine engine;
  int willExpand = 0;
  NotchWindowController controller{*scene.store,  scene.layout, scene.presentation, *scene.authenticationStore,
                                   [this] { ++willExpand; }, engine};
};

TEST_F(NotchWindowControllerTest, HidingAHiddenIslandChangesNothing) {
  scene.setExpanded(true);
  scene.setDropTargeted(true);
  controller.hide();
  EXPECT_TRUE(scene.presentation.isExpanded());
  EXPECT_TRUE(scene.presentation.isDropTargeted());
  controller.collapse();  // not presented either
  EXPECT_TRUE(scene.presentation.isExpanded());
}

TEST_F(NotchWindowControllerTest, HidingAVisiblePanelThatIsNotPresentedStillResetsEverything) {
  controller.panel().show();
  scene.setExpanded(true);
  scene.setDropTargeted(true);
  controller.panel().setAllowsKeyWindow(true);
  controller.hide();
  EXPECT_FALSE(controller.panel().isVisible());
  EXPECT_FALSE(scene.presentation.isExpanded());
  EXPECT_FALSE(scene.presentation.isDropTargeted());
  EXPECT_FALSE(controller.panel().allowsKeyWindow());
  EXPECT_TRUE(controller.panel().flags() & Qt::WindowDoesNotAcceptFocus);
}

TEST_F(NotchWindowControllerTest, TheIslandHangsFromTheTopCentreOfTheScreen) {
  scene.signIn();
  controller.show();
  ASSERT_TRUE(controller.isPresented());
  ASSERT_NE(controller.containerView(), nullptr);
  const auto& panel = controller.panel();
  EXPECT_TRUE(panel.isVisible());
  EXPECT_TRUE(panel.flags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(panel.flags() & Qt::WindowStaysOnTopHint);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(panel.geometry().top(), screen.top());
  EXPECT_NEAR(panel.geometry().center().x(), screen.center().x(), 1);
  // Only the island takes input.
  EXPECT_NEAR(panel.mask().boundingRect().width(), 185, 1);
  EXPECT_EQ(panel.mask().boundingRect().height(), 32);
  EXPECT_FALSE(panel.mask().contains(QPoint(10, 10)));
}

TEST_F(NotchWindowControllerTest, AClickSignsInOrRetriesOrExpandsTheIsland) {
  controller.show();
  scene.signOut();
  controller.handle(notch_interaction::Click{});
  scene.settle();
  EXPECT_EQ(scene.browser->started, 1);
  EXPECT_FALSE(scene.presentation.isExpanded());

  scene.becomeUnavailable();
  controller.handle(notch_interaction::Click{});
  EXPECT_EQ(scene.authentication(), "restoring");

  scene.signIn();
  controller.handle(notch_interaction::Click{});
  EXPECT_EQ(willExpand, 1);
  EXPECT_TRUE(scene.presentation.isExpanded());
  EXPECT_EQ(scene.phase(), "choosing");  // an idle island opens the chooser
  controller.collapse();
  EXPECT_FALSE(scene.presentation.isExpanded());
  EXPECT_TRUE(controller.isPresented());
}

TEST_F(NotchWindowControllerTest, ADragExpandsTheIslandAndLeavingFoldsItBack) {
  scene.signIn();
  controller.show();
  controller.handle(notch_interaction::ValidDragEntered{});
  EXPECT_TRUE(controller.expandedForDrag());
  EXPECT_TRUE(scene.presentation.isDropTargeted());
  EXPECT_EQ(scene.viewModel->content(), "chooser");
  controller.handle(notch_interaction::DragExited{});
  EXPECT_FALSE(controller.expandedForDrag());
  EXPECT_FALSE(scene.presentation.isExpanded());
  EXPECT_EQ(scene.phase(), "idle");

  // An island the user expanded stays open when a drag passes through.
  controller.handle(notch_interaction::Click{});
  controller.handle(notch_interaction::ValidDragEntered{});
  controller.handle(notch_interaction::DragExited{});
  EXPECT_TRUE(scene.presentation.isExpanded());
  EXPECT_FALSE(scene.presentation.isDropTargeted());
}

TEST_F(NotchWindowControllerTest, EscapeClearsAReviewAndOtherwiseCollapses) {
  scene.signIn();
  controller.show();
  controller.handle(notch_interaction::Click{});
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&controller.panel(), &escape);
  EXPECT_FALSE(scene.presentation.isExpanded());

  scene.reviewReady({"a.txt"});
  scene.setExpanded(true);
  QCoreApplication::sendEvent(&controller.panel(), &escape);
  scene.settle();
  EXPECT_NE(scene.phase(), "reviewing");
}

TEST(NotchPanelTest, EscapeWithoutAHandlerIsSwallowed) {
  NotchPanel panel;
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&panel, &escape);
  EXPECT_TRUE(escape.isAccepted());
  int escapes = 0;
  panel.onEscape = [&] { ++escapes; };
  QCoreApplication::sendEvent(&panel, &escape);
  EXPECT_EQ(escapes, 1);
}

// Opens the panel through its controller and drops a file on it as the window system would
// deliver it. Runs offscreen here and on a real X server under Xvfb.
TEST_F(NotchWindowControllerTest, OnScreenAFileDroppedOnTheIslandBecomesATransfer) {
  scene.signIn();
  controller.show();
  auto& panel = controller.panel();
  const QRectF island = controller.containerView()->islandFrame();
  ASSERT_FALSE(island.isEmpty());
  const QPointF inside = island.center();

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(scene.writeFile("report.pdf"))});
  QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&panel, &enter);
  QDragMoveEvent move(inside.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&panel, &move);
  EXPECT_TRUE(scene.presentation.isDropTargeted());
  EXPECT_TRUE(scene.presentation.isExpanded());
  EXPECT_EQ(move.dropAction(), Qt::CopyAction);

  // The island has grown; drop in its middle.
  const QPointF dropPoint = controller.containerView()->islandFrame().center();
  QDropEvent drop(dropPoint, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&panel, &drop);
  EXPECT_TRUE(drop.isAccepted());
  scene.settle();
  EXPECT_FALSE(scene.presentation.isDropTargeted());
  ASSERT_EQ(scene.preparer->requests().size(), 1u);
  EXPECT_EQ(scene.preparer->lastRequest().selection.items.front().displayName, "report.pdf");

  controller.hide();
  EXPECT_FALSE(panel.isVisible());
  EXPECT_FALSE(scene.presentation.isExpanded());
  EXPECT_FALSE(scene.presentation.isDropTargeted());
}

}  // namespace
}  // namespace tavrel
