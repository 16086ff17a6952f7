#include "menubar/popover_placement.h"

#include <gtest/gtest.h>

namespace tavrel::testing {
namespace {

// A 1920 x 1080 screen whose panel (28 px) runs along the top, the bottom, or the left.
const QRect underTopPanel(0, 28, 1920, 1052);
const QRect aboveBottomPanel(0, 0, 1920, 1052);
const QRect besideLeftPanel(28, 0, 1892, 1080);

TEST(PopoverPlacement, HangsBelowAnIconInATopPanelAndGrowsDownward) {
  const QRect icon(1000, 2, 24, 24);
  EXPECT_EQ(popoverPlacement(icon, QSize(320, 132), underTopPanel), QRect(852, 30, 320, 132));
  EXPECT_EQ(popoverPlacement(icon, QSize(320, 360), underTopPanel), QRect(852, 30, 320, 360));
}

TEST(PopoverPlacement, StandsAboveAnIconInABottomPanelAndGrowsUpward) {
  const QRect icon(1000, 1054, 24, 24);
  // The bottom edge stays 4 px above the icon whatever the height.
  EXPECT_EQ(popoverPlacement(icon, QSize(320, 132), aboveBottomPanel), QRect(852, 1054 - 4 - 132, 320, 132));
  EXPECT_EQ(popoverPlacement(icon, QSize(320, 360), aboveBottomPanel), QRect(852, 1054 - 4 - 360, 320, 360));
  // The pointer as the anchor (a tray that reports no rectangle): above it, clear of the panel.
  EXPECT_EQ(popoverPlacement(QRect(1010, 1066, 1, 1), QSize(320, 360), aboveBottomPanel).bottom(), 1051);
}

TEST(PopoverPlacement, KeepsInsideTheScreenAtItsEdges) {
  EXPECT_EQ(popoverPlacement(QRect(1900, 2, 20, 24), QSize(320, 200), underTopPanel), QRect(1600, 30, 320, 200));
  EXPECT_EQ(popoverPlacement(QRect(0, 1054, 24, 24), QSize(320, 200), aboveBottomPanel).left(), 0);
  // An area shorter than the popover: its top stays on screen.
  EXPECT_EQ(popoverPlacement(QRect(1000, 2, 24, 24), QSize(320, 360), QRect(0, 28, 1920, 300)).top(), 28);
}

TEST(PopoverPlacement, StandsBesideAnIconInAVerticalPanel) {
  EXPECT_EQ(popoverPlacement(QRect(2, 500, 24, 24), QSize(320, 200), besideLeftPanel), QRect(30, 412, 320, 200));
  // Near the bottom of the panel it stays on screen and grows upward.
  EXPECT_EQ(popoverPlacement(QRect(2, 1050, 24, 24), QSize(320, 360), besideLeftPanel), QRect(30, 720, 320, 360));
  const QRect besideRightPanel(0, 0, 1892, 1080);
  EXPECT_EQ(popoverPlacement(QRect(1894, 500, 24, 24), QSize(320, 200), besideRightPanel), QRect(1570, 412, 320, 200));
}

}  // namespace
}  // namespace tavrel::testing
