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

const QRect screen(0, 0, 1920, 1080);

TEST(PopoverPlacement, BeforeTheIconsPlaceIsKnownOpensInTheCornerByThePanel) {
  const QSize size(320, 200);
  const auto place = [&](const QRect& available) { return popoverPlacement(std::nullopt, size, screen, available); };
  EXPECT_EQ(place(underTopPanel), QRect(1596, 32, 320, 200));
  EXPECT_EQ(place(aboveBottomPanel), QRect(1596, 1048 - 200, 320, 200));
  EXPECT_EQ(place(besideLeftPanel), QRect(32, 4, 320, 200));
  EXPECT_EQ(place(QRect(0, 0, 1892, 1080)), QRect(1568, 4, 320, 200));  // a right panel
  EXPECT_EQ(place(screen), QRect(1596, 4, 320, 200));                    // no panel reserves an edge
  // A top panel and a left dock: the tray is in the top panel, on the right.
  EXPECT_EQ(place(QRect(64, 28, 1856, 1052)), QRect(1596, 32, 320, 200));
  // A top and a bottom panel: the top one.
  EXPECT_EQ(place(QRect(0, 28, 1920, 1024)), QRect(1596, 32, 320, 200));
  // Above a bottom panel it grows upward, its bottom edge kept.
  EXPECT_EQ(popoverPlacement(std::nullopt, QSize(320, 360), screen, aboveBottomPanel).bottom(), 1047);
}

TEST(PopoverPlacement, OnceTheIconsPlaceIsKnownHangsFromIt) {
  // A click at the top of the screen wins over a bottom panel's corner.
  EXPECT_EQ(popoverPlacement(QRect(1100, 10, 1, 1), QSize(320, 200), screen, aboveBottomPanel),
            QRect(940, 15, 320, 200));
}

}  // namespace
}  // namespace tavrel::testing
