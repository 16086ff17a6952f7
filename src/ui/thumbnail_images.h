#pragma once

#include <QImage>
#include <QPainter>
#include <QQuickImageProvider>
#include <QUrl>
#include <cstdint>

#include "platform/thumbnail_generating.h"

namespace tavrel::ui {

// A generated thumbnail as a Qt image: a copy, so it stays valid however long the cache that shared
// the pixels keeps them. Null for no thumbnail or pixels that do not match their stated size.
QImage thumbnailQImage(const platform::ThumbnailImage* image);

// Draws `image` over the whole of `frame`, cropping its longer side, inside a rounded clip.
void paintFilledRounded(QPainter& painter, const QRectF& frame, qreal radius, const QImage& image);
// `image` filled into a rounded square of `side` points at `scale` pixels a point, for a view that
// shows it at that size.
QImage filledRounded(const QImage& image, qreal side, qreal radius, qreal scale);

// One thumbnail handed to QML Image items as "image://thumbnail/<number>" for as long as this
// value lives. Each value has its own number, so a new thumbnail is a new source and never an
// image QML cached for another one. Move-only.
//
// IMPORTANT: Thread-safety. Make and destroy on the main thread; the provider may read from
// QML's image threads.
class PublishedThumbnail {
 public:
  PublishedThumbnail() = default;
  explicit PublishedThumbnail(QImage image);
  PublishedThumbnail(PublishedThumbnail&& other) noexcept;
  PublishedThumbnail& operator=(PublishedThumbnail&& other) noexcept;
  PublishedThumbnail(const PublishedThumbnail&) = delete;
  PublishedThumbnail& operator=(const PublishedThumbnail&) = delete;
  ~PublishedThumbnail();

  bool isNull() const { return number_ == 0; }
  // Empty while there is no image.
  QUrl source() const;

 private:
  void withdraw();

  std::uint64_t number_ = 0;
};

// Serves what PublishedThumbnail values hold; a withdrawn or unknown number gives a null image.
class ThumbnailImageProvider final : public QQuickImageProvider {
 public:
  ThumbnailImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}
  QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace tavrel::ui
