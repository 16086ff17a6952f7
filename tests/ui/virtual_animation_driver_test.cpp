#include "ui/virtual_animation_driver.h"

#include <gtest/gtest.h>

#include <QVariantAnimation>
#include <chrono>

namespace tavrel::ui {
namespace {

using namespace std::chrono_literals;

// Virtual time passes while nothing animates (a view waits for a click); an animation started then
// must still run its whole duration from its start, every time the driver comes back from idle.
TEST(VirtualAnimationDriverTest, AnAnimationStartedAfterAnIdleSpellRunsItsWholeDurationFromItsStart) {
  VirtualAnimationDriver driver;
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    driver.advance(1000ms);

    QVariantAnimation animation;
    animation.setStartValue(0.0);
    animation.setEndValue(200.0);
    animation.setDuration(200);
    animation.start();

    driver.advance(100ms);
    EXPECT_EQ(animation.state(), QAbstractAnimation::Running);
    EXPECT_NEAR(animation.currentValue().toDouble(), 100.0, 16.0);

    driver.advance(100ms);
    EXPECT_EQ(animation.state(), QAbstractAnimation::Stopped);
    EXPECT_DOUBLE_EQ(animation.currentValue().toDouble(), 200.0);
  }
}

}  // namespace
}  // namespace tavrel::ui
