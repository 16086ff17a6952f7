#include "menubar/status_icon/menu_bar_status_icon_renderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <vector>

namespace tavrel {
namespace {

namespace indicator = menu_bar_indicator;

// A plain opaque square stands in for the program's mark: every point of the mark's square is
// covered, so what the renderer clears or adds shows in the alpha.
QImage solidMark() {
  QImage mark(64, 64, QImage::Format_ARGB32_Premultiplied);
  mark.fill(Qt::black);
  return mark;
}

// The alpha of the device pixel under a point given in the icon's points.
int alphaAt(const QImage& image, QPointF point) {
  const qreal scale = image.devicePixelRatio();
  return qAlpha(image.pixel(static_cast<int>(std::floor(point.x() * scale)),
                            static_cast<int>(std::floor(point.y() * scale))));
}

// Points on the badge's ring (radius 4.5 about (18, 6)) and around it, chosen so that the device
// pixel under each lies inside the stroke at 1x and at 2x.
const QPointF kRingTop(18.5, 1.5);
const QPointF kRingRight(22.5, 6.5);
const QPointF kRingBottom(17.5, 10.5);
const QPointF kRingLeft(13.5, 5.5);
const QPointF kBadgeCentre(18, 6);
const QPointF kBadgeFill(14.5, 9.5);  // inside a badge symbol's disc, clear of its glyph
const QPointF kCutOutGap(10.75, 6);   // between the badge's disc and the cleared edge of the mark
const QPointF kMarkCorner(5.5, 18.5);

constexpr int kOpaque = 200;  // a solid stroke, allowing for anti-aliasing
// The track is drawn at a quarter of the colour's opacity.
bool isTrackOnly(int alpha) { return alpha > 25 && alpha < 110; }

class MenuBarStatusIconRendererTest : public testing::TestWithParam<qreal> {
 protected:
  QImage render(const MenuBarTransferIndicator& which, int frame = 0, bool reduceMotion = false) const {
    return renderer.image(which, frame, reduceMotion, GetParam());
  }
  MenuBarStatusIconRenderer renderer{solidMark()};
};

TEST_P(MenuBarStatusIconRendererTest, IsTwentyFourPointsAtTheAskedScale) {
  const auto image = render(indicator::uploading(30));
  EXPECT_EQ(image.width(), static_cast<int>(24 * GetParam()));
  EXPECT_EQ(image.height(), static_cast<int>(24 * GetParam()));
  EXPECT_EQ(image.devicePixelRatio(), GetParam());
  EXPECT_EQ(image.text("Description"), "Tavrel, uploading, 30 percent");
}

TEST_P(MenuBarStatusIconRendererTest, IdleIsTheWholeMarkWithoutCutOut) {
  const auto image = render(indicator::Idle{});
  EXPECT_GT(alphaAt(image, kMarkCorner), kOpaque);
  EXPECT_GT(alphaAt(image, kBadgeCentre), kOpaque);
  EXPECT_GT(alphaAt(image, kCutOutGap), kOpaque);
  EXPECT_EQ(alphaAt(image, {1, 1}), 0);  // the margin around the mark
  EXPECT_EQ(alphaAt(image, {23.5, 23.5}), 0);
}

TEST_P(MenuBarStatusIconRendererTest, EveryOtherIndicatorClearsTheMarkUnderItsBadge) {
  for (const MenuBarTransferIndicator& which : std::vector<MenuBarTransferIndicator>{
           indicator::uploading(0), indicator::uploading(100), indicator::Preparing{}, indicator::Ready{},
           indicator::Failed{}, indicator::Completed{}}) {
    SCOPED_TRACE(describe(which));
    const auto image = render(which);
    EXPECT_GT(alphaAt(image, kMarkCorner), kOpaque);
    EXPECT_LT(alphaAt(image, kCutOutGap), 100);
  }
}

TEST_P(MenuBarStatusIconRendererTest, ProgressRingGrowsClockwiseFromTwelveOverItsTrack) {
  // 0 percent is a short stub at twelve o'clock, not an empty ring.
  const auto empty = render(indicator::uploading(0));
  EXPECT_GT(alphaAt(empty, kRingTop), kOpaque);
  EXPECT_TRUE(isTrackOnly(alphaAt(empty, kRingRight)));
  EXPECT_TRUE(isTrackOnly(alphaAt(empty, kRingBottom)));
  EXPECT_TRUE(isTrackOnly(alphaAt(empty, kRingLeft)));
  EXPECT_EQ(alphaAt(empty, kBadgeCentre), 0);
  // 1 and 2 percent draw the same stub.
  EXPECT_EQ(render(indicator::uploading(2)), empty);
  EXPECT_NE(render(indicator::uploading(3)), empty);

  const auto half = render(indicator::uploading(50));
  EXPECT_GT(alphaAt(half, kRingTop), kOpaque);
  EXPECT_GT(alphaAt(half, kRingRight), kOpaque);
  EXPECT_TRUE(isTrackOnly(alphaAt(half, kRingLeft)));

  const auto full = render(indicator::uploading(100));
  for (const auto point : {kRingTop, kRingRight, kRingBottom, kRingLeft})
    EXPECT_GT(alphaAt(full, point), kOpaque);
  EXPECT_EQ(alphaAt(full, kBadgeCentre), 0);
}

TEST_P(MenuBarStatusIconRendererTest, PreparingArcTurnsAThirdOfAQuarterPerFrame) {
  const auto first = render(indicator::Preparing{}, 0);
  EXPECT_GT(alphaAt(first, kRingTop), kOpaque);
  EXPECT_GT(alphaAt(first, kRingRight), kOpaque);
  EXPECT_TRUE(isTrackOnly(alphaAt(first, kRingBottom)));
  EXPECT_TRUE(isTrackOnly(alphaAt(first, kRingLeft)));

  // Three frames on, the arc has turned a quarter: from three o'clock down past six.
  const auto quarter = render(indicator::Preparing{}, 3);
  EXPECT_TRUE(isTrackOnly(alphaAt(quarter, kRingTop)));
  EXPECT_GT(alphaAt(quarter, kRingRight), kOpaque);
  EXPECT_GT(alphaAt(quarter, kRingBottom), kOpaque);
  EXPECT_TRUE(isTrackOnly(alphaAt(quarter, kRingLeft)));

  const auto half = render(indicator::Preparing{}, 6);
  EXPECT_TRUE(isTrackOnly(alphaAt(half, kRingTop)));
  EXPECT_GT(alphaAt(half, kRingBottom), kOpaque);
  EXPECT_GT(alphaAt(half, kRingLeft), kOpaque);
}

TEST_P(MenuBarStatusIconRendererTest, FramesWrapAroundAndReduceMotionHoldsTheFirst) {
  // A second renderer draws each expected frame afresh, so kept images cannot hide a wrong frame.
  const MenuBarStatusIconRenderer fresh{solidMark()};
  const auto expected = [&](int frame) {
    return fresh.image(indicator::Preparing{}, frame, false, GetParam());
  };
  EXPECT_EQ(render(indicator::Preparing{}, 13), expected(1));
  EXPECT_EQ(render(indicator::Preparing{}, -1), expected(11));
  EXPECT_EQ(render(indicator::Preparing{}, 24), expected(0));
  EXPECT_NE(render(indicator::Preparing{}, 1), render(indicator::Preparing{}, 0));
  for (int frame : {0, 5, 13}) EXPECT_EQ(render(indicator::Preparing{}, frame, true), expected(0));
  // Only the preparing arc turns.
  EXPECT_EQ(render(indicator::uploading(40), 7), render(indicator::uploading(40), 0));
}

TEST_P(MenuBarStatusIconRendererTest, KeptImagesAreKeptPerLookAndScale) {
  const qreal other = GetParam() == 1 ? 2 : 1;
  const auto here = render(indicator::Preparing{}, 4);
  const auto there = renderer.image(indicator::Preparing{}, 4, false, other);
  EXPECT_EQ(there.devicePixelRatio(), other);
  EXPECT_EQ(there.width(), static_cast<int>(24 * other));
  EXPECT_EQ(render(indicator::Preparing{}, 4), here);
  EXPECT_EQ(render(indicator::Completed{}).text("Description"), "Tavrel, transfer complete");
  EXPECT_EQ(render(indicator::Idle{}).text("Description"), "Tavrel");
}

TEST_P(MenuBarStatusIconRendererTest, BadgesAreDistinctSymbolsInTheCorner) {
  const auto ready = render(indicator::Ready{});
  const auto failed = render(indicator::Failed{});
  const auto completed = render(indicator::Completed{});
  for (const auto* image : {&ready, &failed, &completed}) EXPECT_GT(alphaAt(*image, kBadgeFill), kOpaque);
  EXPECT_NE(ready, failed);
  EXPECT_NE(ready, completed);
  EXPECT_NE(failed, completed);
}

TEST_P(MenuBarStatusIconRendererTest, ASymbolThatCannotBeLoadedDrawsNothing) {
  QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    renderer.drawBadge(painter, "no.such.symbol", QRectF(11, -1, 14, 14));
  }
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ASSERT_EQ(qAlpha(image.pixel(x, y)), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, MenuBarStatusIconRendererTest, testing::Values(1.0, 2.0),
                         [](const auto& info) {
                           return info.param == 1 ? std::string("At1x") : std::string("At2x");
                         });

TEST(MenuBarStatusIconRendererColourTest, EverythingIsDrawnInTheOneColour) {
  const QColor ink(20, 20, 20);
  const MenuBarStatusIconRenderer renderer(solidMark(), ink);
  for (const MenuBarTransferIndicator& which :
       std::vector<MenuBarTransferIndicator>{indicator::uploading(100), indicator::Completed{}}) {
    const auto image = renderer.image(which, 0, false, 2).convertToFormat(QImage::Format_ARGB32);
    for (const auto point : {kMarkCorner, kRingTop, kBadgeFill}) {
      const QColor pixel = image.pixelColor(static_cast<int>(point.x() * 2), static_cast<int>(point.y() * 2));
      EXPECT_NEAR(pixel.red(), ink.red(), 2);
      EXPECT_NEAR(pixel.green(), ink.green(), 2);
      EXPECT_NEAR(pixel.blue(), ink.blue(), 2);
    }
  }
  EXPECT_EQ(MenuBarStatusIconRenderer::colorFor(ui::ColorScheme::light), QColor(Qt::black));
  EXPECT_EQ(MenuBarStatusIconRenderer::colorFor(ui::ColorScheme::dark), QColor(Qt::white));
  EXPECT_EQ(MenuBarStatusIconRenderer::colorFor(std::nullopt), QColor(Qt::white));
  // White unless told otherwise.
  const auto plain = MenuBarStatusIconRenderer(solidMark()).image(indicator::Idle{}, 0, false, 1);
  EXPECT_EQ(plain.convertToFormat(QImage::Format_ARGB32).pixelColor(12, 12), QColor(Qt::white));
}

TEST(MenuBarStatusIconRendererColourTest, TheProgramMarkFillsTheMarkSquare) {
  const auto mark = MenuBarStatusIconRenderer::programMark();
  ASSERT_FALSE(mark.isNull());
  const auto idle = MenuBarStatusIconRenderer(mark).image(indicator::Idle{}, 0, false, 2);
  int drawn = 0;
  for (int y = 0; y < idle.height(); ++y) {
    for (int x = 0; x < idle.width(); ++x) drawn += qAlpha(idle.pixel(x, y)) > 0 ? 1 : 0;
  }
  EXPECT_GT(drawn, 48 * 48 / 8);
}

TEST(MenuBarStatusIconRendererColourTest, WithoutAMarkOnlyTheIndicatorIsDrawn) {
  const MenuBarStatusIconRenderer renderer{QImage()};
  const auto idle = renderer.image(indicator::Idle{}, 0, false, 1);
  for (int y = 0; y < idle.height(); ++y) {
    for (int x = 0; x < idle.width(); ++x) ASSERT_EQ(qAlpha(idle.pixel(x, y)), 0);
  }
  EXPECT_GT(alphaAt(renderer.image(indicator::uploading(100), 0, false, 1), kRingRight), kOpaque);
}

TEST(MenuBarStatusIconRendererDescriptionTest, SaysWhatTheIconShows) {
  using R = MenuBarStatusIconRenderer;
  EXPECT_EQ(R::accessibilityDescription(indicator::Idle{}), "Tavrel");
  EXPECT_EQ(R::accessibilityDescription(indicator::Preparing{}), "Tavrel, preparing files");
  EXPECT_EQ(R::accessibilityDescription(indicator::Ready{}), "Tavrel, ready to upload");
  EXPECT_EQ(R::accessibilityDescription(indicator::uploading(0)), "Tavrel, uploading, 0 percent");
  EXPECT_EQ(R::accessibilityDescription(indicator::uploading(100)), "Tavrel, uploading, 100 percent");
  EXPECT_EQ(R::accessibilityDescription(indicator::Failed{}), "Tavrel, transfer failed");
  EXPECT_EQ(R::accessibilityDescription(indicator::Completed{}), "Tavrel, transfer complete");
}

TEST(MenuBarStatusIconRendererFrameTest, CountsModuloTwelveAndHoldsStillUnderReduceMotion) {
  using R = MenuBarStatusIconRenderer;
  EXPECT_EQ(R::effectiveFrame(0, false), 0);
  EXPECT_EQ(R::effectiveFrame(11, false), 11);
  EXPECT_EQ(R::effectiveFrame(12, false), 0);
  EXPECT_EQ(R::effectiveFrame(13, false), 1);
  EXPECT_EQ(R::effectiveFrame(-1, false), 11);
  EXPECT_EQ(R::effectiveFrame(13, true), 0);
}

}  // namespace
}  // namespace tavrel
