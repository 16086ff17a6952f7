#include "island/transfer_item_card_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "island/island_scene.h"
#include "ui/thumbnail_images.h"

namespace tavrel {
namespace {

using testing::makeThumbnailImage;
using testing::island::IslandScene;

class TransferItemCardModelTest : public ::testing::Test {
 protected:
  // A card as the carousel makes it: properties first, then complete.
  std::unique_ptr<TransferItemCardModel> makeCard(const QString& url, bool wantsThumbnail, qreal scale = 1,
                                                  TransferIslandViewModel* island = nullptr) {
    auto card = std::make_unique<TransferItemCardModel>();
    card->classBegin();
    card->setIsland(island ? island : scene.viewModel.get());
    card->setUrl(url);
    card->setWantsThumbnail(wantsThumbnail);
    card->setDisplayScale(scale);
    card->componentComplete();
    return card;
  }
  QImage shown(const TransferItemCardModel& card) {
    return provider.requestImage(card.thumbnailSource().path().mid(1), nullptr, {});
  }
  std::vector<std::shared_ptr<const platform::ThumbnailRequest>> requests() { return scene.thumbnails->requests(); }
  void answer(std::size_t index, std::uint8_t shade) {
    scene.thumbnails->answer(requests().at(index), makeThumbnailImage(shade));
    scene.settle();
  }

  IslandScene scene;
  ui::ThumbnailImageProvider provider;
};

TEST_F(TransferItemCardModelTest, ReviewItemsWithAPreviewKindAskForAThumbnail) {
  scene.signIn();
  scene.reviewReady({"beach.png", "clip.mov", "notes.txt"});
  const auto items = scene.viewModel->review().value("items").toList();
  ASSERT_EQ(items.size(), 3);
  EXPECT_TRUE(items[0].toMap().value("wantsThumbnail").toBool());
  EXPECT_TRUE(items[1].toMap().value("wantsThumbnail").toBool());
  EXPECT_FALSE(items[2].toMap().value("wantsThumbnail").toBool());
}

TEST_F(TransferItemCardModelTest, AnImageCardAsksOnceAtItsSizeAndScaleAndShowsTheAnswerWhileItLives) {
  auto card = makeCard(QStringLiteral("/cards/a.png"), true, 2);
  ASSERT_EQ(requests().size(), 1u);  // not once per property set while being made
  EXPECT_EQ(requests()[0]->file, "/cards/a.png");
  EXPECT_EQ(requests()[0]->width, 90);
  EXPECT_EQ(requests()[0]->height, 90);
  EXPECT_EQ(requests()[0]->scale, 2);
  EXPECT_FALSE(card->hasThumbnail());
  EXPECT_TRUE(card->thumbnailSource().isEmpty());

  QSignalSpy changes(card.get(), &TransferItemCardModel::thumbnailChanged);
  answer(0, 90);
  EXPECT_EQ(changes.count(), 1);
  EXPECT_TRUE(card->hasThumbnail());
  EXPECT_EQ(card->thumbnailSource().scheme(), QStringLiteral("image"));
  // Filled into the card at the display's pixels, its corners rounded away.
  const QImage image = shown(*card);
  ASSERT_EQ(image.size(), QSize(180, 180));
  EXPECT_EQ(qAlpha(image.pixel(90, 90)), 90);  // the test image is 90 in every channel
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);

  // Once the card is gone its picture is no longer served.
  const QUrl source = card->thumbnailSource();
  card.reset();
  EXPECT_TRUE(provider.requestImage(source.path().mid(1), nullptr, {}).isNull());
}

TEST_F(TransferItemCardModelTest, FoldersFilesWithoutPreviewAndAnIslandWithoutGeneratorNeverAsk) {
  auto folder = makeCard(QStringLiteral("/cards/Photos"), false);
  folder->setDisplayScale(2);
  TransferIslandViewModel iconsOnly(*scene.store, scene.layout, scene.presentation, *scene.authenticationStore, [] {});
  auto image = makeCard(QStringLiteral("/cards/b.png"), true, 1, &iconsOnly);
  EXPECT_TRUE(requests().empty());
  EXPECT_FALSE(folder->hasThumbnail());
  EXPECT_FALSE(image->hasThumbnail());
}

TEST_F(TransferItemCardModelTest, AnotherDisplayScaleAsksAgainAndACardThatGoesAwayCancelsItsRequest) {
  auto card = makeCard(QStringLiteral("/cards/c.mov"), true, 1);
  card->setDisplayScale(2);
  ASSERT_EQ(requests().size(), 2u);
  EXPECT_EQ(requests()[1]->scale, 2);
  EXPECT_EQ(scene.thumbnails->cancelled(), (std::vector{requests()[0]}));
  answer(0, 10);  // arrives late: not shown
  EXPECT_FALSE(card->hasThumbnail());

  const auto pending = requests()[1];
  card.reset();
  EXPECT_EQ(scene.thumbnails->cancelled().back(), pending);
  answer(1, 20);  // nobody left to show it, nothing cached
  EXPECT_FALSE(ThumbnailCache::shared()->image(MediaThumbnailLoader::cacheKey("/cards/c.mov", {90, 90}, 2)));
}

}  // namespace
}  // namespace tavrel
