#include "ui/thumbnail_images.h"

#include <gtest/gtest.h>

#include "support/fake_thumbnail_generator.h"

namespace tavrel::ui {
namespace {

QImage served(const PublishedThumbnail& thumbnail) {
  ThumbnailImageProvider provider;
  return provider.requestImage(thumbnail.source().path().mid(1), nullptr, {});
}

TEST(ThumbnailImagesTest, PixelsThatDoNotMatchTheirSizeGiveNoImage) {
  EXPECT_TRUE(thumbnailQImage(nullptr).isNull());
  platform::ThumbnailImage image;
  image.pixelWidth = 2;
  image.pixelHeight = 2;
  image.rgba.assign(15, 0xFF);  // one byte short
  EXPECT_TRUE(thumbnailQImage(&image).isNull());
  image.rgba.push_back(0xFF);
  EXPECT_EQ(thumbnailQImage(&image).size(), QSize(2, 2));
  image.pixelWidth = 0;
  EXPECT_TRUE(thumbnailQImage(&image).isNull());
}

TEST(ThumbnailImagesTest, APublishedThumbnailIsServedUntilItIsReplacedOrGone) {
  const QImage red = thumbnailQImage(testing::makeThumbnailImage(200).get());
  PublishedThumbnail first(red);
  ASSERT_FALSE(first.isNull());
  EXPECT_EQ(served(first).size(), QSize(2, 2));
  EXPECT_TRUE(PublishedThumbnail(QImage()).isNull());
  EXPECT_TRUE(PublishedThumbnail().source().isEmpty());

  const QUrl firstSource = first.source();
  PublishedThumbnail moved(std::move(first));
  EXPECT_EQ(moved.source(), firstSource);  // the same picture, still served
  EXPECT_FALSE(served(moved).isNull());

  moved = PublishedThumbnail(red);
  EXPECT_NE(moved.source(), firstSource);  // a new source, so QML never shows a stale copy
  ThumbnailImageProvider provider;
  EXPECT_TRUE(provider.requestImage(firstSource.path().mid(1), nullptr, {}).isNull());
  EXPECT_TRUE(provider.requestImage(QStringLiteral("not-a-number"), nullptr, {}).isNull());
}

}  // namespace
}  // namespace tavrel::ui
