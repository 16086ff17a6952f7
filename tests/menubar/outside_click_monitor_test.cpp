#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <QMouseEvent>
#include <QWindow>
#include <functional>
#include <memory>

#include "menubar/outside_click_monitor.h"

namespace tavrel {
namespace {

class OutsideClickMonitorTest : public ::testing::Test {
 public:
  // A press delivered to one of our windows; returns whether the window saw it.
  bool press(QPoint global, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(global), button, button, Qt::NoModifier);
    event.setAccepted(false);
    QCoreApplication::sendEvent(&window, &event);
    return delivered;
  }

  class Window : public QWindow {
   public:
    explicit Window(bool& delivered) : delivered_(delivered) {}
    void mousePressEvent(QMouseEvent* event) override {
      delivered_ = true;
      event->accept();
    }
    bool& delivered_;
  };

  bool delivered = false;
  Window window{delivered};
  OutsideClickMonitor monitor;
  int closes = 0;
  const QRect inside{100, 100, 50, 50};
};

TEST_F(OutsideClickMonitorTest, ArmedTwiceItClosesOnceForAPressOutside) {
  for (int i = 0; i < 2; ++i) {
    monitor.start([this](QPoint point) { return inside.contains(point); }, [this] { ++closes; });
  }
  press(QPoint(10, 10), Qt::RightButton);
  EXPECT_EQ(closes, 1);
}

TEST_F(OutsideClickMonitorTest, APressInsideDoesNotCloseAndStillReachesItsWindow) {
  monitor.start([this](QPoint point) { return inside.contains(point); }, [this] { ++closes; });
  EXPECT_TRUE(press(QPoint(120, 120)));
  EXPECT_EQ(closes, 0);
  delivered = false;
  EXPECT_TRUE(press(QPoint(10, 10)));  // outside: closes, and the press is still delivered
  EXPECT_EQ(closes, 1);
  press(QPoint(10, 10), Qt::MiddleButton);
  EXPECT_EQ(closes, 1);
}

TEST_F(OutsideClickMonitorTest, StoppedOrNeverStartedItDoesNothing) {
  monitor.stop();
  press(QPoint(10, 10));
  monitor.start([](QPoint) { return false; }, [this] { ++closes; });
  monitor.stop();
  monitor.stop();
  press(QPoint(10, 10));
  EXPECT_EQ(closes, 0);
  EXPECT_FALSE(monitor.isArmed());
}

TEST(OutsideClickMonitorFocusTest, FocusLostWithAButtonDownWaitsForTheReleaseAndADragInBetweenKeepsItOpen) {
  bool buttonDown = true;
  int closes = 0;
  OutsideClickMonitor monitor([&] { return buttonDown; }, 1);
  monitor.start([](QPoint) { return false; }, [&] { ++closes; });
  emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
  QTest::qWait(20);
  EXPECT_EQ(closes, 0);  // a press in another program may be a drag starting
  buttonDown = false;
  QTest::qWait(20);
  EXPECT_EQ(closes, 1);  // released without a drag reaching us: an ordinary click elsewhere

  buttonDown = true;
  monitor.start([](QPoint) { return false; }, [&] { ++closes; });
  emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
  QTest::qWait(10);
  monitor.stop();  // the drag entered the window
  monitor.start([](QPoint) { return false; }, [&] { ++closes; });  // and left again
  buttonDown = false;
  QTest::qWait(20);
  EXPECT_EQ(closes, 1);
}

TEST(OutsideClickMonitorFocusTest, ArmedWhileAnotherProgramHasTheFocusAPressThereClosesAfterItsRelease) {
  // As after a drop from another program: it keeps the focus, so no focus change tells of a press.
  ASSERT_NE(qGuiApp->applicationState(), Qt::ApplicationActive);
  bool buttonDown = false;
  bool pointerInside = false;
  int closes = 0;
  std::function<void()> press;
  std::weak_ptr<void> watch;
  OutsideClickMonitor monitor([&] { return buttonDown; }, 1, [&](std::function<void()> onPress) {
    press = std::move(onPress);
    auto handle = std::make_shared<int>(0);
    watch = handle;
    return std::shared_ptr<void>(handle);
  });
  const auto arm = [&] { monitor.start([&](QPoint) { return pointerInside; }, [&] { ++closes; }); };
  arm();
  ASSERT_TRUE(press);

  pointerInside = true;  // a press on the owner's own window is its own
  press();
  QTest::qWait(5);
  EXPECT_EQ(closes, 0);

  pointerInside = false;
  buttonDown = true;  // a press in the other program
  press();
  arm();  // re-armed as an upload's progress changes: the press still counts
  QTest::qWait(10);
  EXPECT_EQ(closes, 0);  // it may be a drag starting
  buttonDown = false;
  EXPECT_TRUE(QTest::qWaitFor([&] { return closes == 1; }));

  monitor.stop();
  EXPECT_TRUE(watch.expired());
}

TEST(OutsideClickMonitorFocusTest, ArmedWhileAHiddenWindowStillHoldsTheFocusItsLateLossDoesNotClose) {
  // As when the hot key opens the popover just after onboarding closed: X11 reports the hidden
  // window's lost focus later, while the popover waits for the window manager to activate it.
  QWindow closed;
  closed.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return qGuiApp->focusWindow() == &closed; }));
  closed.hide();
  ASSERT_EQ(qGuiApp->applicationState(), Qt::ApplicationActive);
  int closes = 0;
  bool watching = false;
  OutsideClickMonitor monitor([] { return false; }, 1, [&](std::function<void()>) {
    watching = true;
    return std::make_shared<int>(0);
  });
  monitor.start([](QPoint) { return false; }, [&] { ++closes; });
  EXPECT_TRUE(watching);  // a press in another program meanwhile still closes
  emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
  QTest::qWait(10);
  EXPECT_EQ(closes, 0);

  QWindow popover;
  popover.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return qGuiApp->focusWindow() == &popover; }));
  emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);  // now the focus it had is lost
  EXPECT_TRUE(QTest::qWaitFor([&] { return closes == 1; }));
}

}  // namespace
}  // namespace tavrel
