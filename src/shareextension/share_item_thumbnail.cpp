#include "shareextension/share_item_thumbnail.h"

#include "ui/file_icon_images.h"

#include <QIcon>
#include <QPainter>
#include <QStandardPaths>
#include <cmath>

#include "ui/thumbnail_images.h"

namespace tavrel {
namespace {

constexpr qreal thumbnailSide = 40;
constexpr qreal thumbnailRadius = 7;
constexpr qreal iconSide = 34;

}  // namespace

ShareItemThumbnail::ShareItemThumbnail(QQuickItem* parent) : QQuickPaintedItem(parent) {
  setImplicitSize(thumbnailSide, thumbnailSide);
  setAntialiasing(true);
}

ShareItemThumbnail::~ShareItemThumbnail() {
  imageSubscription_.reset();
  if (loader_) loader_->cancel();
}

void ShareItemThumbnail::setSheet(ShareSheetViewModel* sheet) {
  if (sheet_ == sheet) return;
  sheet_ = sheet;
  emit sheetChanged();
  requestThumbnail();
}

void ShareItemThumbnail::setFilePath(const QString& path) {
  if (filePath_ == path) return;
  filePath_ = path;
  emit filePathChanged();
  requestThumbnail();
}

void ShareItemThumbnail::setIconName(const QString& name) {
  if (iconName_ == name) return;
  iconName_ = name;
  emit iconNameChanged();
  update();
}

void ShareItemThumbnail::prepareIconTheme() { ui::prepareIconTheme(); }

void ShareItemThumbnail::setGenericIconName(const QString& name) {
  if (genericIconName_ == name) return;
  genericIconName_ = name;
  emit iconNameChanged();
  update();
}

void ShareItemThumbnail::setWantsThumbnail(bool wants) {
  if (wantsThumbnail_ == wants) return;
  wantsThumbnail_ = wants;
  emit wantsThumbnailChanged();
  requestThumbnail();
}

void ShareItemThumbnail::setDisplayScale(qreal scale) {
  if (qFuzzyCompare(displayScale_, scale) || scale <= 0) return;
  displayScale_ = scale;
  emit displayScaleChanged();
  // A display of another scale needs the thumbnail at that scale.
  requestThumbnail();
}

void ShareItemThumbnail::componentComplete() {
  QQuickPaintedItem::componentComplete();
  requestThumbnail();
}

void ShareItemThumbnail::requestThumbnail() {
  // Bindings arrive one by one while the row is made: ask once, when it is complete.
  if (!isComponentComplete() || !wantsThumbnail_ || !sheet_ || filePath_.isEmpty()) return;
  if (!loader_) {
    loader_ = sheet_->makeThumbnailLoader();
    if (!loader_) return;
    imageSubscription_ = loader_->subscribe([this](const ShareItemThumbnailLoader::Image& image) { showImage(image); });
  }
  loader_->load(filePath_.toStdString(), ShareItemThumbnailLoader::rowSize, displayScale_);
}

void ShareItemThumbnail::showImage(const ShareItemThumbnailLoader::Image& image) {
  const bool had = hasThumbnail();
  thumbnail_ = ui::thumbnailQImage(image.get());
  if (had != hasThumbnail()) emit hasThumbnailChanged();
  update();
}

void ShareItemThumbnail::paint(QPainter* painter) {
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setRenderHint(QPainter::SmoothPixmapTransform);
  const QRectF frame((width() - thumbnailSide) / 2, (height() - thumbnailSide) / 2, thumbnailSide, thumbnailSide);
  if (!thumbnail_.isNull()) {
    ui::paintFilledRounded(*painter, frame, thumbnailRadius, thumbnail_);
    return;
  }
  // Themes draw few types of their own: else the type's family (document, image, ...), else a page.
  QIcon icon = QIcon::fromTheme(iconName_);
  if (icon.isNull()) icon = QIcon::fromTheme(genericIconName_);
  if (icon.isNull()) icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
  if (icon.isNull()) return;
  const QRectF target(frame.center().x() - iconSide / 2, frame.center().y() - iconSide / 2, iconSide, iconSide);
  const int pixels = static_cast<int>(std::ceil(iconSide * displayScale_));
  const QPixmap pixmap = icon.pixmap(QSize(pixels, pixels));
  painter->drawPixmap(target, pixmap, QRectF(pixmap.rect()));
}

}  // namespace tavrel
