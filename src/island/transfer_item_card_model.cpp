#include "island/transfer_item_card_model.h"

#include <QtGlobal>

namespace tavrel {

TransferItemCardModel::TransferItemCardModel(QObject* parent) : QObject(parent) {}

TransferItemCardModel::~TransferItemCardModel() {
  imageSubscription_.reset();
  if (thumbnailLoader_) thumbnailLoader_->cancel();
}

template <typename Field, typename Value>
void TransferItemCardModel::change(Field& field, const Value& value) {
  if (field == value) return;
  field = value;
  emit requestChanged();
  requestThumbnail();
}

void TransferItemCardModel::setIsland(TransferIslandViewModel* island) { change(island_, island); }
void TransferItemCardModel::setUrl(const QString& url) { change(url_, url); }
void TransferItemCardModel::setWantsThumbnail(bool wants) { change(wantsThumbnail_, wants); }

void TransferItemCardModel::setDisplayScale(qreal scale) {
  // A display of another scale needs the thumbnail at that scale.
  if (scale > 0 && !qFuzzyCompare(displayScale_, scale)) change(displayScale_, scale);
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
