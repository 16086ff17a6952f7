#include "island/transfer_item_card_model.h"

#include <QtGlobal>

namespace tavrel {

TransferItemCardModel::TransferItemCardModel(QObject* parent) : QObject(parent) {}

TransferItemCardModel::~TransferItemCardModel() {
  imageSubscription_.reset();
  if (thumbnailLoader_) thumbnailLoader_->cancel();
}

void TransferItemCardModel::setIsland(TransferIslandViewModel* island) {
  if (island_ == island) return;
  island_ = island;
  emit requestChanged();
  requestThumbnail();
}

void TransferItemCardModel::setUrl(const QString& url) {
  if (url_ == url) return;
  url_ = url;
  emit requestChanged();
  requestThumbnail();
}

void TransferItemCardModel::setWantsThumbnail(bool wants) {
  if (wantsThumbnail_ == wants) return;
  wantsThumbnail_ = wants;
  emit requestChanged();
  requestThumbnail();
}

void TransferItemCardModel::setDisplayScale(qreal scale) {
  if (scale <= 0 || qFuzzyCompare(displayScale_, scale)) return;
  displayScale_ = scale;
  emit requestChanged();
  requestThumbnail();
}

void TransferItemCardModel::componentComplete() {
  complete_ = true;
  requestThumbnail();
}

void TransferItemCardModel::requestThumbnail() {
  // Bindings arrive one by one while the card is made: ask once it is complete.
  if (!complete_ || !wantsThumbnail_ || !island_ || url_.isEmpty()) return;
  if (!thumbnailLoader_) {
    thumbnailLoader_ = island_->makeThumbnailLoader();
    if (!thumbnailLoader_) return;
    imageSubscription_ =
        thumbnailLoader_->image().subscribe([this](const MediaThumbnailLoader::Image& image) { showImage(image); });
  }
  thumbnailLoader_->load(url_.toStdString(), cardSize, displayScale_);
}

void TransferItemCardModel::showImage(const MediaThumbnailLoader::Image& image) {
  const QUrl before = thumbnail_.source();
  // Rounded here: the card's own clip is square.
  thumbnail_ = ui::PublishedThumbnail(
      ui::filledRounded(ui::thumbnailQImage(image.get()), cardSize.width, cornerRadius, displayScale_));
  if (before != thumbnail_.source()) emit thumbnailChanged();
}

}  // namespace tavrel
