#include <gtest/gtest.h>

#include <QQmlParserStatus>
#include <memory>

#include "platform/manual_main_queue.h"
#include "shareextension/core/share_item_thumbnail_loader.h"
#include "shareextension/share_item_thumbnail.h"
#include "support/fake_thumbnail_generator.h"

namespace tavrel {
namespace {

using testing::FakeThumbnailGenerator;
using testing::makeThumbnailImage;

class ShareItemThumbnailTest : public ::testing::Test {
 protected:
  // A row's thumbnail as the list makes it: properties first, then complete.
  std::unique_ptr<ShareItemThumbnail> makeRow(const QString& path, bool wantsThumbnail, qreal scale = 1) {
    auto row = std::make_unique<ShareItemThumbnail>();
    static_cast<QQmlParserStatus*>(row.get())->classBegin();
    row->setSheet(&sheet);
    row->setFilePath(path);
    row->setWantsThumbnail(wantsThumbnail);
    row->setDisplayScale(scale);
    static_cast<QQmlParserStatus*>(row.get())->componentComplete();
    return row;
  }
  void answer(std::size_t index, std::uint8_t shade) {
    generator->answer(generator->requests().at(index), makeThumbnailImage(shade));
    queue.runUntilIdle();
  }

  platform::ManualMainQueue queue;
  std::shared_ptr<FakeThumbnailGenerator> generator = std::make_shared<FakeThumbnailGenerator>();
  ShareSheetViewModel sheet{{}, {&queue, generator}};
};

TEST_F(ShareItemThumbnailTest, AnImageRowAsksOnceAtItsSizeAndScaleAndShowsTheAnswer) {
  auto row = makeRow(QStringLiteral("/rows/a.png"), true, 2);
  ASSERT_EQ(generator->requests().size(), 1u);  // not once per property set while being made
  const auto& request = *generator->requests()[0];
  EXPECT_EQ(request.file, "/rows/a.png");
  EXPECT_EQ(request.width, 40);
  EXPECT_EQ(request.height, 40);
  EXPECT_EQ(request.scale, 2);
  EXPECT_FALSE(row->hasThumbnail());
  answer(0, 90);
  EXPECT_TRUE(row->hasThumbnail());

  // A second row for the same file at the same scale comes from memory.
  auto twin = makeRow(QStringLiteral("/rows/./a.png"), true, 2);
  EXPECT_EQ(generator->requests().size(), 1u);
  EXPECT_TRUE(twin->hasThumbnail());
}

TEST_F(ShareItemThumbnailTest, OtherFilesNeverAsk) {
  auto row = makeRow(QStringLiteral("/rows/notes.txt"), false);
  row->setDisplayScale(2);
  EXPECT_TRUE(generator->requests().empty());
  EXPECT_FALSE(row->hasThumbnail());
}

TEST_F(ShareItemThumbnailTest, AnotherDisplayScaleAsksAgainAndTheOldAnswerIsDropped) {
  auto row = makeRow(QStringLiteral("/rows/b.png"), true, 1);
  row->setDisplayScale(2);
  ASSERT_EQ(generator->requests().size(), 2u);
  EXPECT_EQ(generator->requests()[1]->scale, 2);
  EXPECT_EQ(generator->cancelled(), (std::vector{generator->requests()[0]}));
  answer(0, 10);  // arrives late: neither shown nor cached
  EXPECT_FALSE(row->hasThumbnail());
  answer(1, 20);
  EXPECT_TRUE(row->hasThumbnail());
  // The answer at scale 1 was never cached, so going back asks again.
  row->setDisplayScale(1);
  EXPECT_EQ(generator->requests().size(), 3u);
}

TEST_F(ShareItemThumbnailTest, ARowThatGoesAwayCancelsItsRequest) {
  auto row = makeRow(QStringLiteral("/rows/c.png"), true);
  const auto request = generator->requests().at(0);
  row.reset();
  EXPECT_EQ(generator->cancelled(), (std::vector{request}));
  generator->answer(request, makeThumbnailImage(5));
  queue.runUntilIdle();  // nobody left to show it, nothing cached
  EXPECT_FALSE(ShareItemThumbnailLoader::cache()->image(ShareItemThumbnailLoader::cacheKey("/rows/c.png", {40, 40}, 1)));
}

TEST_F(ShareItemThumbnailTest, WithoutAGeneratorEveryRowKeepsItsIcon) {
  ShareSheetViewModel iconsOnly{{}, {}};
  ShareItemThumbnail row;
  static_cast<QQmlParserStatus&>(row).classBegin();
  row.setSheet(&iconsOnly);
  row.setFilePath(QStringLiteral("/rows/d.png"));
  row.setWantsThumbnail(true);
  static_cast<QQmlParserStatus&>(row).componentComplete();
  EXPECT_FALSE(row.hasThumbnail());
}

TEST(ShareItemThumbnailCacheTest, TheProgramKeepsAtMostOneHundredThumbnails) {
  const auto& cache = ShareItemThumbnailLoader::cache();
  EXPECT_EQ(cache, ShareItemThumbnailLoader::cache());
  EXPECT_NE(cache, ThumbnailCache::shared());  // its own, not the cards' larger one
  for (int index = 0; index < 101; ++index) cache->store("limit-" + std::to_string(index), makeThumbnailImage(1));
  EXPECT_EQ(cache->count(), 100u);
  EXPECT_FALSE(cache->image("limit-0"));
}

}  // namespace
}  // namespace tavrel
