#include "desktop/reduce_motion.h"

#include <gtest/gtest.h>

namespace tavrel::desktop {
namespace {

TEST(ReduceMotionTest, KdeAnimationFactorOfZeroAsksForReducedMotionOnlyInItsGroup) {
  EXPECT_EQ(kdeReduceMotion("[KDE]\nAnimationDurationFactor=0\n"), true);
  EXPECT_EQ(kdeReduceMotion("[KDE]\nAnimationDurationFactor = 0.0 \n"), true);
  EXPECT_EQ(kdeReduceMotion("[KDE]\nAnimationDurationFactor=0.5\n"), false);
  EXPECT_EQ(kdeReduceMotion("[General]\nAnimationDurationFactor=0\n"), std::nullopt);
  EXPECT_EQ(kdeReduceMotion("[KDE]\nAnimationDurationFactor=fast\n"), std::nullopt);
  EXPECT_EQ(kdeReduceMotion(""), std::nullopt);
  // The last setting in the group wins, as KDE reads it.
  EXPECT_EQ(kdeReduceMotion("[KDE]\nAnimationDurationFactor=0\nAnimationDurationFactor=1\n"), false);
}

}  // namespace
}  // namespace tavrel::desktop
