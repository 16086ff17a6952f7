// The real tray icon and popover window under Xvfb, with and without a tray host. Run by
// run_tray_test.sh, which starts the display, a private session bus and (for the first case) trayer;
// skipped in the ordinary offscreen run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_test_fixture.h"
#include "ui/qt_main_queue.h"

namespace tavrel::testing {
namespace {

class TrayTest : public MenuBarStoresTest {
 public:
  void SetUp() override {
    if (qEnvironmentVariable("TAVREL_TRAY_TEST").isEmpty() || QGuiApplication::platformName() != "xcb") {
      GTEST_SKIP() << "needs run_tray_test.sh";
    }
  }

  // Runs the event loop and the stores' queue until `done` holds; the display and the tray host are
  // other processes, so this waits on them for real, up to a bound.
  bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10'000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      settle();
      if (done()) return true;
    }
    return false;
  }

  static void click(QPoint position) {
    QProcess::execute("xdotool", {"mousemove", QString::number(position.x()), QString::number(position.y()), "click",
                                  "1"});
  }

  std::unique_ptr<MenuBarController> makeController() {
    return std::make_unique<MenuBarController>(*store, *recent, *authentication, settings, recorded.actions(), mainQueue);
  }

  ui::QtMainQueue mainQueue;
};

TEST_F(TrayTest, AClickOnTheTrayIconOpensThePopoverBelowItAndASecondClickClosesIt) {
  if (qEnvironmentVariable("TAVREL_TRAY_TEST") != "with-tray") GTEST_SKIP() << "no tray host in this run";
  signIn();
  auto controller = makeController();
  ASSERT_TRUE(controller->statusItem()->isAvailable());
  ASSERT_TRUE(waitFor([&] { return controller->statusItem()->geometry().has_value(); }));
  const auto icon = *controller->statusItem()->geometry();

  click(icon.center());
  ASSERT_TRUE(waitFor([&] { return controller->isPopoverShown(); }));
  EXPECT_TRUE(controller->popoverWindow()->contains(QPoint(icon.center().x(), icon.bottom() + 20)));
  EXPECT_FALSE(controller->popoverWindow()->contains(icon.center()));

  click(icon.center());
  EXPECT_TRUE(waitFor([&] { return !controller->isPopoverShown(); }));
}

TEST_F(TrayTest, WithoutATrayHostThePopoverOpensAsAnOrdinaryWindow) {
  if (qEnvironmentVariable("TAVREL_TRAY_TEST") != "without-tray") GTEST_SKIP() << "a tray host runs";
  signIn();
  auto controller = makeController();
  EXPECT_FALSE(controller->statusItem()->isAvailable());
  controller->showPopover(true);
  EXPECT_TRUE(waitFor([&] { return controller->isPopoverShown(); }));
  EXPECT_EQ(controller->popoverWindow()->contentSize(), QSize(320, 270));
}

}  // namespace
}  // namespace tavrel::testing
