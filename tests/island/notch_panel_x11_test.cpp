// The island's panel on a real X server with a window manager (tests/island/run_panel_x11_test.sh):
// real pointer and key events from xdotool, the window manager's focus, and the screen's pixels.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QQmlEngine>
#include <QQuickItem>
#include <QRasterWindow>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include "island/island_scene.h"
#include "island/notch_window_controller.h"
#include "island/window_shape.h"
#include "ui/interface_setup.h"

namespace tavrel {
namespace {

using testing::island::IslandScene;

constexpr QRgb beneathColour = qRgb(200, 120, 40);

// A plain window under the island that counts the presses it gets.
class BeneathWindow final : public QRasterWindow {
 public:
  int presses = 0;

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(QRect(QPoint(), size()), QColor(beneathColour)); }
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// Runs xdotool while this program goes on handling its events, as it would for a real user.
void xdotool(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral("xdotool"), arguments);
  ASSERT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000));
  ASSERT_EQ(process.exitCode(), 0);
}

void clickAt(QPoint global) {
  xdotool({QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()), QStringLiteral("click"),
           QStringLiteral("1")});
}

QQuickItem* findItem(QQuickItem* root, const QString& name) {
  if (root->objectName() == name) return root;
  for (QQuickItem* child : root->childItems()) {
    if (QQuickItem* found = findItem(child, name)) return found;
  }
  return nullptr;
}

QRgb screenPixel(QPoint global) {
  return QGuiApplication::primaryScreen()->grabWindow(0, global.x(), global.y(), 1, 1).toImage().pixel(0, 0);
}

class NotchPanelOnX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    withCompositor = qgetenv("TAVREL_TEST_COMPOSITOR") == "on";
    if (withCompositor) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return window_shape::hasCompositor(beneath); }, 10000));
    }
    ui::prepareEngine(engine);
    controller = std::make_unique<NotchWindowController>(*scene.store, scene.layout, scene.presentation,
                                                         *scene.authenticationStore, [] {}, engine);
    beneath.setFlags(Qt::FramelessWindowHint);
    beneath.setGeometry(QGuiApplication::primaryScreen()->geometry());
    beneath.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&beneath));
    scene.signIn();
  }

  NotchPanel& panel() { return controller->panel(); }
  QPoint global(QPointF local) { return panel().mapToGlobal(local.toPoint()); }
  QRectF islandFrame() { return controller->containerView()->islandFrame(); }
  QQuickItem* item(const char* name) { return findItem(controller->containerView(), QString::fromLatin1(name)); }
  // Until the island's spring has settled at its frame.
  bool settled() {
    auto* drawn = item("island");
    return drawn && drawn->size() == islandFrame().size();
  }
  void showPanel() {
    controller->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel()));
  }

  bool withCompositor = false;
  IslandScene scene;
  QQmlEngine engine;
  BeneathWindow beneath;
  std::unique_ptr<NotchWindowController> controller;
};

TEST_F(NotchPanelOnX11Test, PressesBesideTheIslandReachTheWindowBeneathAndTheIslandTakesTheKeyboard) {
  showPanel();
  const QPoint beside = global(QPointF(islandFrame().left() - 40, 10));
  clickAt(beside);
  ASSERT_TRUE(QTest::qWaitFor([&] { return beneath.presses == 1; }));
  EXPECT_FALSE(scene.presentation.isExpanded());
  // Beside the island the screen shows the window beneath: never the panel's transparent pixels as black.
  EXPECT_EQ(screenPixel(beside), beneathColour);

  clickAt(global(islandFrame().center()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene.presentation.isExpanded(); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return panel().isActive(); }));
  xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scene.presentation.isExpanded(); }));
  EXPECT_EQ(beneath.presses, 1);

  // Expanded again, a press on the window beneath folds it and still arrives there.
  clickAt(global(islandFrame().center()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene.presentation.isExpanded() && settled(); }));
  clickAt(global(QPointF(10, panel().height() - 4)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scene.presentation.isExpanded(); }));
  EXPECT_EQ(beneath.presses, 2);
}

TEST_F(NotchPanelOnX11Test, TheExpandedIslandsShadowIsDrawnBelowIt) {
  if (!withCompositor) GTEST_SKIP() << "translucent pixels need a compositor";
  showPanel();
  controller->handle(notch_interaction::Click{});
  ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }));
  QTest::qWait(100);  // the compositor's next frame
  const QRectF island = islandFrame();
  const QRgb shadow = screenPixel(global(QPointF(island.center().x(), island.bottom() + 6)));
  EXPECT_LT(qRed(shadow), qRed(beneathColour) - 20);
  EXPECT_GT(qRed(shadow), 40);  // blended over the window beneath, not black
  EXPECT_EQ(screenPixel(global(QPointF(4, panel().height() - 4))), beneathColour);
  EXPECT_TRUE(panel().mask().isEmpty());  // drawing is not clipped
}

TEST_F(NotchPanelOnX11Test, AFileDroppedOnTheReviewTileJoinsTheReview) {
  showPanel();
  scene.reviewReady({"a.txt"});
  controller->handle(notch_interaction::Click{});
  ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }));

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(scene.writeFile("b.txt"))});
  const QPoint inside = islandFrame().center().toPoint();
  QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&panel(), &enter);
  ASSERT_TRUE(scene.presentation.isDropTargeted());
  QQuickItem* tile = item("dropPlaceholder");
  ASSERT_NE(tile, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return tile->isVisible() && tile->opacity() == 1; }));
  const QPoint onTile = tile->mapToScene(QPointF(tile->width() / 2, tile->height() / 2)).toPoint();
  ASSERT_TRUE(islandFrame().contains(onTile));
  QDragMoveEvent move(onTile, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&panel(), &move);
  QDropEvent drop(onTile, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&panel(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  scene.settle();

  const auto* review = reviewState(scene.store->state().phase);
  ASSERT_NE(review, nullptr);
  ASSERT_EQ(review->selection.items.size(), 2u);
  EXPECT_EQ(review->selection.items[1].displayName, "b.txt");
  EXPECT_EQ(scene.uploadRuns(), 0);
}

TEST_F(NotchPanelOnX11Test, AHandScrolledCarouselSettlesOnACardAndStepsBackFromTheEnd) {
  showPanel();
  scene.reviewReady({"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt", "7.txt", "8.txt"});
  controller->handle(notch_interaction::Click{});
  ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }));
  QQuickItem* carousel = item("carousel");
  QQuickItem* next = item("nextButton");
  QQuickItem* previous = item("previousButton");
  ASSERT_TRUE(carousel && next && previous);
  ASSERT_TRUE(QTest::qWaitFor([&] { return next->isVisible(); }));
  EXPECT_FALSE(previous->isVisible());
  const double end = carousel->property("contentWidth").toDouble() - carousel->width();
  ASSERT_GT(end, 98);

  // Drag the row by hand well past its end.
  const QPoint start = global(carousel->mapToScene(QPointF(carousel->width() * 0.6, 45)));
  QStringList drag{QStringLiteral("mousemove"), QString::number(start.x()), QString::number(start.y()),
                   QStringLiteral("mousedown"), QStringLiteral("1")};
  for (int step = 1; step <= 12; ++step) {
    drag << QStringLiteral("mousemove") << QString::number(start.x() - step * 40) << QString::number(start.y())
         << QStringLiteral("sleep") << QStringLiteral("0.03");
  }
  drag << QStringLiteral("mouseup") << QStringLiteral("1");
  xdotool(drag);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !carousel->property("moving").toBool() && previous->isVisible(); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return qAbs(carousel->property("contentX").toDouble() - end) < 0.5; }));
  EXPECT_FALSE(next->isVisible());

  clickAt(global(previous->mapToScene(QPointF(previous->width() / 2, previous->height() / 2))));
  ASSERT_TRUE(QTest::qWaitFor([&] { return carousel->property("contentX").toDouble() < end - 1 && next->isVisible(); }));
  // Back by one card, onto a card's edge.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const double x = carousel->property("contentX").toDouble();
    return qAbs(x / 98 - std::round(x / 98)) < 0.01;
  }));
  EXPECT_LT(carousel->property("contentX").toDouble(), end);
}

}  // namespace
}  // namespace tavrel
