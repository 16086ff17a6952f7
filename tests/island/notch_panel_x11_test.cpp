// The island's panel on a real X server with a window manager (run_panel_x11_test.sh): pointer and
// keys from xdotool, the manager's focus, and the screen's pixels.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <cmath>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QQmlEngine>
#include <QRasterWindow>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include "island/island_scene.h"
#include "island/window_shape.h"
#include "ui/interface_setup.h"

namespace tavrel {
namespace {

using testing::island::IslandScene;

constexpr QRgb beneathColour = qRgb(200, 120, 40);

// A plain window under the island that counts its presses.
class BeneathWindow final : public QRasterWindow {
 public:
  int presses = 0;

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(QRect(QPoint(), size()), QColor(beneathColour)); }
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// Runs xdotool while this program goes on handling its events, as it would for a real user.
void xdotool(QStringList arguments) {
  QProcess process;
  process.start(QStringLiteral("xdotool"), arguments);
  ASSERT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000));
  ASSERT_EQ(process.exitCode(), 0);
}

QStringList moveTo(QPoint at) { return {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())}; }
void clickAt(QPoint at) { xdotool(moveTo(at) << QStringLiteral("click") << QStringLiteral("1")); }
QRgb screenPixel(QPoint at) {
  return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0);
}

class NotchPanelOnX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    if (withCompositor) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return window_shape::hasCompositor(beneath); }, 10000));
    }
    ui::prepareEngine(engine);
    beneath.setFlags(Qt::FramelessWindowHint);
    beneath.setGeometry(QGuiApplication::primaryScreen()->geometry());
    beneath.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&beneath));
    scene.signIn();
    controller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller.panel()));
  }

  QPoint global(QPointF local) { return controller.panel().mapToGlobal(local.toPoint()); }
  QRectF island() { return controller.containerView()->islandFrame(); }
  QQuickItem* item(const char* name) {
    return testing::island::findItem(controller.containerView(), QString::fromLatin1(name));
  }
  // Expanded, with the spring at rest.
  void expand() {
    controller.handle(notch_interaction::Click{});
    ASSERT_TRUE(QTest::qWaitFor([&] { return item("island")->size() == island().size(); }));
  }

  const bool withCompositor = qgetenv("TAVREL_TEST_COMPOSITOR") == "on";
  IslandScene scene;
  QQmlEngine engine;
  BeneathWindow beneath;
  NotchWindowController controller{*scene.store, scene.layout, scene.presentation, *scene.authenticationStore,
                                   [] {}, engine};
};

TEST_F(NotchPanelOnX11Test, PressesBesideTheIslandReachTheWindowBeneathAndAClickTakesTheKeyboard) {
  const QPoint beside = global(QPointF(island().left() - 40, 10));
  clickAt(beside);
  // The manager gives that window the focus in its own time; it must not do so after the island's click.
  ASSERT_TRUE(QTest::qWaitFor([&] { return beneath.presses == 1 && beneath.isActive(); }));
  EXPECT_FALSE(scene.presentation.isExpanded());
  EXPECT_EQ(screenPixel(beside), beneathColour);  // never the panel's transparent pixels as black

  clickAt(global(island().center()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return scene.presentation.isExpanded() && controller.panel().isActive(); }));
  xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scene.presentation.isExpanded(); }));
  EXPECT_EQ(beneath.presses, 1);
}

TEST_F(NotchPanelOnX11Test, TheExpandedIslandsShadowIsDrawnOverTheWindowBeneath) {
  if (!withCompositor) GTEST_SKIP() << "translucent pixels need a compositor";
  expand();
  QTest::qWait(100);  // the compositor's next frame
  const QRgb shadow = screenPixel(global(QPointF(island().center().x(), island().bottom() + 6)));
  EXPECT_LT(qRed(shadow), qRed(beneathColour) - 20);
  EXPECT_GT(qRed(shadow), 40);  // blended, not black
  EXPECT_TRUE(controller.panel().mask().isEmpty());
}

TEST_F(NotchPanelOnX11Test, AFileDroppedOnTheReviewTileJoinsTheReview) {
  scene.reviewReady({"a.txt"});
  expand();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(scene.writeFile("b.txt"))});
  QDragEnterEvent enter(island().center().toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&controller.panel(), &enter);
  QQuickItem* tile = item("dropPlaceholder");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tile->isVisible() && tile->opacity() == 1; }));
  const QPoint onTile = tile->mapToScene(QPointF(tile->width() / 2, tile->height() / 2)).toPoint();
  QDropEvent drop(onTile, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&controller.panel(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  scene.settle();
  const auto* review = reviewState(scene.store->state().phase);
  ASSERT_NE(review, nullptr);
  ASSERT_EQ(review->selection.items.size(), 2u);
  EXPECT_EQ(review->selection.items[1].displayName, "b.txt");
  EXPECT_EQ(scene.uploadRuns(), 0);
}

TEST_F(NotchPanelOnX11Test, AHandScrolledCarouselSettlesAtItsEndAndStepsBackOneCard) {
  scene.reviewReady({"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt", "7.txt", "8.txt"});
  expand();
  QQuickItem* carousel = item("carousel");
  QQuickItem* next = item("nextButton");
  QQuickItem* previous = item("previousButton");
  const auto contentX = [&] { return carousel->property("contentX").toDouble(); };
  // Read when it is used: the row may still be laying itself out when the page first shows.
  const auto end = [&] { return carousel->property("contentWidth").toDouble() - carousel->width(); };
  ASSERT_TRUE(next->isVisible() && !previous->isVisible());

  // Dragged by hand well past its end.
  const QPoint start = global(carousel->mapToScene(QPointF(carousel->width() * 0.6, 45)));
  QStringList drag = moveTo(start) << QStringLiteral("mousedown") << QStringLiteral("1");
  for (int step = 1; step <= 12; ++step) {
    drag << moveTo(start - QPoint(step * 40, 0)) << QStringLiteral("sleep") << QStringLiteral("0.03");
  }
  xdotool(drag << QStringLiteral("mouseup") << QStringLiteral("1"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return previous->isVisible() && qAbs(contentX() - end()) < 0.5; }))
      << "at " << contentX() << " of " << end();
  EXPECT_FALSE(next->isVisible());

  clickAt(global(previous->mapToScene(QPointF(14, 14))));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return next->isVisible() && qAbs(contentX() - 98 * (std::ceil(end() / 98) - 1)) < 0.5; }))
      << "at " << contentX() << " of " << end();
}

}  // namespace
}  // namespace tavrel
