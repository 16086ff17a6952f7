#include "island/notch_window_controller.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QQuickItem>
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
  EXPECT_NEAR(panel.inputRegion().boundingRect().width(), 185, 1);
  EXPECT_EQ(panel.inputRegion().boundingRect().height(), 32);
  EXPECT_FALSE(panel.inputRegion().contains(QPoint(10, 10)));
}

TEST_F(NotchWindowControllerTest, APanelWithNoIslandIsHiddenAndAFoldKeepsItsInputUntilItSettles) {
  scene.signIn();
  auto geometry = testing::island::sampleGeometry();
  geometry.compactSize = QSizeF(0, 32);  // nothing to show until the island expands
  scene.layout.setGeometry(geometry);
  controller.show();
  EXPECT_TRUE(controller.isPresented());
  EXPECT_FALSE(controller.panel().isVisible());
  controller.handle(notch_interaction::Click{});
  EXPECT_TRUE(controller.panel().isVisible());
  EXPECT_EQ(controller.panel().inputRegion().boundingRect().size(), QSize(550, 250));

  scene.layout.setGeometry(testing::island::sampleGeometry());
  controller.collapse();
  EXPECT_TRUE(controller.hasPendingPanelResize());
  EXPECT_EQ(controller.panel().inputRegion().boundingRect().size(), QSize(550, 250));
  controller.hide();
  EXPECT_FALSE(controller.hasPendingPanelResize());
  controller.show();
  scene.layout.setGeometry(std::nullopt);
  EXPECT_FALSE(controller.panel().isVisible());
}

TEST_F(NotchWindowControllerTest, ADropOnAnOpenChooserStartsAReviewAndOnTheFoldedIslandAnUpload) {
  scene.signIn();
  controller.show();
  const auto dropGives = [&](const char* name) {
    controller.handle(notch_interaction::Dropped{{scene.writeFile(name).toStdString()}});
    scene.settle();
    const auto* review = reviewState(scene.store->state().phase);
    return review ? review->startPolicy : std::optional<TransferStartPolicy>();
  };
  controller.handle(notch_interaction::Click{});
  EXPECT_EQ(dropGives("a.txt"), TransferStartPolicy::requiresReview);
  scene.resetTransfers();
  controller.collapse();
  controller.handle(notch_interaction::ValidDragEntered{});  // the drag opens the chooser on its way in
  EXPECT_EQ(dropGives("b.txt"), TransferStartPolicy::automatic);
}

TEST_F(NotchWindowControllerTest, APressOutsideTheExpandedIslandFoldsIt) {
  scene.signIn();
  controller.show();
  controller.handle(notch_interaction::Click{});
  QWindow elsewhere;
  const auto press = [&](QWindow& window, QPoint global) {
    QMouseEvent event(QEvent::MouseButtonPress, window.mapFromGlobal(QPointF(global)), QPointF(global),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &event);
  };
  const QPoint island = controller.panel().mapToGlobal(controller.containerView()->islandFrame().center().toPoint());
  press(controller.panel(), island);
  EXPECT_TRUE(scene.presentation.isExpanded());
  press(elsewhere, island + QPoint(0, 400));
  EXPECT_FALSE(scene.presentation.isExpanded());
  EXPECT_FALSE(controller.outsideClickMonitor().isArmed());
}

// What a screen reader finds under `node`, depth first.
QStringList accessibleNames(QAccessibleInterface* node) {
  QStringList names{node->text(QAccessible::Name)};
  for (int i = 0; i < node->childCount(); ++i) names << accessibleNames(node->child(i));
  return names;
}

TEST_F(NotchWindowControllerTest, AScreenReaderPressesTheFoldedIslandAndHearsTheReviewLineOnce) {
  controller.show();
  scene.signOut();
  auto* island = testing::island::findItem(controller.containerView(), QStringLiteral("island"));
  ASSERT_NE(island, nullptr);
  QAccessible::queryAccessibleInterface(island)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  scene.settle();
  EXPECT_EQ(scene.browser->started, 1);

  scene.signIn();
  scene.reviewPreparing({"a.txt"});
  QCoreApplication::processEvents();
  const QStringList names = accessibleNames(QAccessible::queryAccessibleInterface(&controller.panel()));
  EXPECT_EQ(names.count(QStringLiteral("Preparing…")), 1);
  EXPECT_FALSE(names.contains(QStringLiteral("Upload progress")));
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
  EXPECT_TRUE(controller.panel().allowsKeyWindow());  // the keyboard follows a click
  controller.collapse();
  EXPECT_FALSE(scene.presentation.isExpanded());
  EXPECT_FALSE(controller.panel().allowsKeyWindow());
  EXPECT_TRUE(controller.isPresented());
}

TEST_F(NotchWindowControllerTest, ADragExpandsTheIslandAndLeavingFoldsItBack) {
  scene.signIn();
  controller.show();
  controller.handle(notch_interaction::ValidDragEntered{});
  EXPECT_TRUE(controller.expandedForDrag());
  EXPECT_FALSE(controller.panel().allowsKeyWindow());  // a drag from elsewhere keeps the keyboard there
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
