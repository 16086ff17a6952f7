#include <gtest/gtest.h>

#include "onboarding/onboarding_window_placement.h"

namespace tavrel {
namespace {

const QSizeF kWindow(400, 500);

// A 1440 by 900 laptop with a 25-point panel on top, and a 1920 by 1080 display to its right whose
// dock takes 60 points at the bottom.
const std::vector<ScreenArea> kTwoScreens{
    {QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)},
    {QRectF(1440, 0, 1920, 1080), QRectF(1440, 0, 1920, 1020)},
};

TEST(OnboardingWindowPlacementTest, AWindowIsCentredOnTheVisibleFrameOfTheScreenUnderThePointer) {
  EXPECT_EQ(placementOnShow(kWindow, QPointF(2000, 500), kTwoScreens, 0), QPointF(1440 + 960 - 200, 510 - 250));
  EXPECT_EQ(placementOnShow(kWindow, QPointF(10, 10), kTwoScreens, 1), QPointF(720 - 200, 25 + 437.5 - 250));
}

TEST(OnboardingWindowPlacementTest, APointerOutsideEveryScreenFallsBackToThePrimaryThenTheFirst) {
  EXPECT_EQ(screenUnderPointer(QPointF(-50, -50), kTwoScreens, 1), 1u);
  EXPECT_EQ(screenUnderPointer(QPointF(5000, 0), kTwoScreens, std::nullopt), 0u);
  EXPECT_EQ(screenUnderPointer(QPointF(5000, 0), kTwoScreens, 7), 0u);  // a primary that is not listed
  EXPECT_EQ(placementOnShow(kWindow, QPointF(0, 0), {}, std::nullopt), std::nullopt);
}

TEST(OnboardingWindowPlacementTest, OverlapsAreCountedAgainstVisibleFramesFrom120PointsInBothDirections) {
  const auto& laptop = kTwoScreens[0].visibleFrame;
  // Hanging off the right edge of the second screen with exactly 120 points left on it.
  EXPECT_TRUE(isReachable(QRectF(3360 - 120, 400, 400, 500), kTwoScreens));
  EXPECT_FALSE(isReachable(QRectF(3360 - 119.9, 400, 400, 500), kTwoScreens));
  // Mostly above the laptop: only the part below its panel counts.
  EXPECT_TRUE(isReachable(QRectF(100, laptop.top() + 120 - 500, 400, 500), kTwoScreens));
  EXPECT_FALSE(isReachable(QRectF(100, laptop.top() + 119.9 - 500, 400, 500), kTwoScreens));
  // 120 wide on each screen is not 120 on one: straddling two screens still counts per screen.
  EXPECT_TRUE(isReachable(QRectF(1440 - 200, 300, 400, 500), kTwoScreens));
}

TEST(OnboardingWindowPlacementTest, AWindowLeftOnADisconnectedScreenIsUnreachable) {
  const QRectF onSecondScreen(2400, 260, 400, 500);
  EXPECT_TRUE(isReachable(onSecondScreen, kTwoScreens));
  EXPECT_FALSE(isReachable(onSecondScreen, {kTwoScreens[0]}));
  EXPECT_FALSE(isReachable(onSecondScreen, {}));
}

}  // namespace
}  // namespace tavrel
