#include "shareextension/share_item_thumbnail.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <cmath>

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

void ShareItemThumbnail::prepareIconTheme() {
  // Without a desktop's platform theme (offscreen, a bare X session) Qt looks in its resources only.
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& folder : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                                         QStandardPaths::LocateDirectory)) {
    if (!paths.contains(folder)) paths.append(folder);
  }
  QIcon::setThemeSearchPaths(paths);
  const QString theme = QIcon::themeName();
  if (theme.isEmpty() || theme == QLatin1String("hicolor")) QIcon::setThemeName(QStringLiteral("Adwaita"));
  QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

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
  if (image && image->pixelWidth > 0 && image->pixelHeight > 0 &&
      image->rgba.size() == static_cast<std::size_t>(image->pixelWidth) * static_cast<std::size_t>(image->pixelHeight) * 4) {
    // The pixels are shared with the cache, which never changes them; the copy keeps this item's
    // image valid however long the cache keeps its own.
    thumbnail_ = QImage(image->rgba.data(), image->pixelWidth, image->pixelHeight, image->pixelWidth * 4,
                        QImage::Format_RGBA8888)
                     .copy();
  } else {
    thumbnail_ = QImage();
  }
  if (had != hasThumbnail()) emit hasThumbnailChanged();
  update();
}

void ShareItemThumbnail::paint(QPainter* painter) {
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setRenderHint(QPainter::SmoothPixmapTransform);
  const QRectF frame((width() - thumbnailSide) / 2, (height() - thumbnailSide) / 2, thumbnailSide, thumbnailSide);
  if (!thumbnail_.isNull()) {
    // Fill the square, cropping the longer side, inside the rounded clip.
    const qreal scale = std::max(frame.width() / thumbnail_.width(), frame.height() / thumbnail_.height());
    const QSizeF drawn(thumbnail_.width() * scale, thumbnail_.height() * scale);
    const QRectF target(frame.center().x() - drawn.width() / 2, frame.center().y() - drawn.height() / 2, drawn.width(),
                        drawn.height());
    QPainterPath clip;
    clip.addRoundedRect(frame, thumbnailRadius, thumbnailRadius);
    painter->setClipPath(clip);
    painter->drawImage(target, thumbnail_);
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
