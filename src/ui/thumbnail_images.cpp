#include "ui/thumbnail_images.h"

#include <QHash>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace tavrel::ui {
namespace {

struct Published {
  std::mutex mutex;
  std::uint64_t lastNumber = 0;
  QHash<std::uint64_t, QImage> images;
};

Published& published() {
  static Published shared;
  return shared;
}

}  // namespace

QImage thumbnailQImage(const platform::ThumbnailImage* image) {
  if (!image || image->pixelWidth <= 0 || image->pixelHeight <= 0) return {};
  const auto width = static_cast<std::size_t>(image->pixelWidth);
  const auto height = static_cast<std::size_t>(image->pixelHeight);
  if (image->rgba.size() != width * height * 4) return {};
  return QImage(image->rgba.data(), image->pixelWidth, image->pixelHeight, image->pixelWidth * 4,
                QImage::Format_RGBA8888)
      .copy();
}

void paintFilledRounded(QPainter& painter, const QRectF& frame, qreal radius, const QImage& image) {
  if (image.isNull() || frame.isEmpty()) return;
  const qreal scale = std::max(frame.width() / image.width(), frame.height() / image.height());
  const QSizeF drawn(image.width() * scale, image.height() * scale);
  const QRectF target(frame.center().x() - drawn.width() / 2, frame.center().y() - drawn.height() / 2, drawn.width(),
                      drawn.height());
  QPainterPath clip;
  clip.addRoundedRect(frame, radius, radius);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setClipPath(clip);
  painter.drawImage(target, image);
  painter.restore();
}

QImage filledRounded(const QImage& image, qreal side, qreal radius, qreal scale) {
  const int pixels = static_cast<int>(std::ceil(side * scale));
  if (image.isNull() || pixels <= 0) return {};
  QImage result(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  result.fill(Qt::transparent);
  QPainter painter(&result);
  painter.scale(pixels / side, pixels / side);
  paintFilledRounded(painter, QRectF(0, 0, side, side), radius, image);
  painter.end();
  return result;
}

PublishedThumbnail::PublishedThumbnail(QImage image) {
  if (image.isNull()) return;
  auto& shared = published();
  std::lock_guard lock(shared.mutex);
  number_ = ++shared.lastNumber;
  shared.images.insert(number_, std::move(image));
}

PublishedThumbnail::PublishedThumbnail(PublishedThumbnail&& other) noexcept
    : number_(std::exchange(other.number_, 0)) {}

PublishedThumbnail& PublishedThumbnail::operator=(PublishedThumbnail&& other) noexcept {
  if (this != &other) {
    withdraw();
    number_ = std::exchange(other.number_, 0);
  }
  return *this;
}

PublishedThumbnail::~PublishedThumbnail() { withdraw(); }

void PublishedThumbnail::withdraw() {
  if (number_ == 0) return;
  auto& shared = published();
  std::lock_guard lock(shared.mutex);
  shared.images.remove(std::exchange(number_, 0));
}

QUrl PublishedThumbnail::source() const {
  if (isNull()) return {};
  return QUrl(QStringLiteral("image://thumbnail/%1").arg(number_));
}

QImage ThumbnailImageProvider::requestImage(const QString& id, QSize* size, const QSize&) {
  bool valid = false;
  const auto number = id.toULongLong(&valid);
  QImage image;
  if (valid) {
    auto& shared = published();
    std::lock_guard lock(shared.mutex);
    image = shared.images.value(number);
  }
  if (size) *size = image.size();
  return image;
}

}  // namespace tavrel::ui
