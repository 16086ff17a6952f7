#include <gtest/gtest.h>

#include "platform/manual_main_queue.h"
#include "support/fake_thumbnail_generator.h"
#include "transfer/media_thumbnail_loader.h"

using namespace tavrel;
using tavrel::testing::FakeThumbnailGenerator;
using tavrel::testing::makeThumbnailImage;

namespace {

constexpr ThumbnailSize cardSize{90, 90};

class MediaThumbnailLoaderTest : public ::testing::Test {
 protected:
  platform::ManualMainQueue queue;
  std::shared_ptr<FakeThumbnailGenerator> generator = std::make_shared<FakeThumbnailGenerator>();
  std::shared_ptr<ThumbnailCache> cache = std::make_shared<ThumbnailCache>();

  std::unique_ptr<MediaThumbnailLoader> makeLoader() {
    return std::make_unique<MediaThumbnailLoader>(queue, generator, cache);
  }
};

}  // namespace

TEST_F(MediaThumbnailLoaderTest, CacheKeyIsTheStandardisedFileUrlWithSizeAndScale) {
  EXPECT_EQ(MediaThumbnailLoader::cacheKey("/home/ana/Pictures/./trip/../beach.jpg", cardSize, 2),
            "file:///home/ana/Pictures/beach.jpg|90.00x90.00@2.00");
  EXPECT_EQ(MediaThumbnailLoader::cacheKey("/tmp/a b/caf\xC3\xA9#1.png", {120.5, 80.126}, 1.5),
            "file:///tmp/a%20b/caf%C3%A9%231.png|120.50x80.13@1.50");
}

TEST_F(MediaThumbnailLoaderTest, ResultIsShownAndCachedAndTheSameLoadIsNotRepeated) {
  auto loader = makeLoader();
  loader->load("/photos/a.jpg", cardSize, 2);
  ASSERT_EQ(generator->requests().size(), 1u);
  const auto request = generator->requests()[0];
  EXPECT_EQ(request->file, "/photos/a.jpg");
  EXPECT_EQ(request->width, 90);
  EXPECT_EQ(request->scale, 2);
  EXPECT_FALSE(loader->image().value());

  const auto picture = makeThumbnailImage(7);
  generator->answer(request, picture);
  queue.runUntilIdle();
  EXPECT_EQ(loader->image().value(), picture);
  EXPECT_FALSE(loader->hasRequestInFlight());
  EXPECT_EQ(cache->image(MediaThumbnailLoader::cacheKey("/photos/a.jpg", cardSize, 2)), picture);

  loader->load("/photos/a.jpg", cardSize, 2);
  EXPECT_EQ(generator->requests().size(), 1u);
  loader->load("/photos/a.jpg", cardSize, 3);  // another display scale is another thumbnail
  EXPECT_EQ(generator->requests().size(), 2u);
  EXPECT_FALSE(loader->image().value());
}

TEST_F(MediaThumbnailLoaderTest, ASecondLoaderGetsTheCachedImageWithoutARequest) {
  auto first = makeLoader();
  first->load("/photos/a.jpg", cardSize, 2);
  const auto picture = makeThumbnailImage(3);
  generator->answer(generator->requests()[0], picture);
  queue.runUntilIdle();

  auto second = makeLoader();
  second->load("/photos/a.jpg", cardSize, 2);
  EXPECT_EQ(second->image().value(), picture);
  EXPECT_FALSE(second->hasRequestInFlight());
  EXPECT_EQ(generator->requests().size(), 1u);
}

TEST_F(MediaThumbnailLoaderTest, ReplacedOrCancelledRequestsAreNeitherShownNorCached) {
  auto loader = makeLoader();
  loader->load("/photos/first.jpg", cardSize, 2);
  loader->load("/photos/second.jpg", cardSize, 2);
  const auto requests = generator->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(generator->cancelled(), std::vector{requests[0]});

  // The first answer was already on its way.
  generator->answer(requests[0], makeThumbnailImage(1));
  queue.runUntilIdle();
  EXPECT_FALSE(loader->image().value());
  EXPECT_TRUE(loader->hasRequestInFlight());
  EXPECT_EQ(cache->count(), 0u);

  loader->cancel();
  loader->cancel();  // nothing in flight: harmless
  EXPECT_FALSE(loader->hasRequestInFlight());
  EXPECT_EQ(generator->cancelled().size(), 2u);
  generator->answer(requests[1], makeThumbnailImage(2));
  queue.runUntilIdle();
  EXPECT_FALSE(loader->image().value());
  EXPECT_EQ(cache->count(), 0u);

  // Same key, no image: a new request.
  loader->load("/photos/second.jpg", cardSize, 2);
  EXPECT_EQ(generator->requests().size(), 3u);
}

TEST_F(MediaThumbnailLoaderTest, AFileWithoutThumbnailLeavesNothingAndIsAskedForAgain) {
  auto loader = makeLoader();
  loader->load("/docs/a.mov", cardSize, 1);
  generator->answer(generator->requests()[0], nullptr);
  queue.runUntilIdle();
  EXPECT_FALSE(loader->image().value());
  EXPECT_FALSE(loader->hasRequestInFlight());
  EXPECT_EQ(cache->count(), 0u);

  loader->load("/docs/a.mov", cardSize, 1);
  EXPECT_EQ(generator->requests().size(), 2u);
}

TEST_F(MediaThumbnailLoaderTest, AnAnswerForALoaderThatIsGoneIsDropped) {
  auto loader = makeLoader();
  loader->load("/photos/a.jpg", cardSize, 2);
  const auto request = generator->requests()[0];
  loader.reset();
  generator->answer(request, makeThumbnailImage(9));
  queue.runUntilIdle();
  EXPECT_EQ(cache->count(), 0u);
}

TEST(ThumbnailCacheTest, EvictsTheLeastRecentlyUsedBeyondItsLimit) {
  ThumbnailCache cache(2);
  cache.store("a", makeThumbnailImage(1));
  cache.store("b", makeThumbnailImage(2));
  EXPECT_TRUE(cache.image("a"));  // a is now the most recent
  cache.store("c", makeThumbnailImage(3));
  EXPECT_EQ(cache.count(), 2u);
  EXPECT_TRUE(cache.image("a"));
  EXPECT_FALSE(cache.image("b"));
  EXPECT_TRUE(cache.image("c"));
}
