#include "ui/svg_rendering.h"

#include <QPainter>
#include <QSvgRenderer>

namespace tavrel::ui {

QImage renderSvg(const QString& path, QSize pixelSize, std::optional<QColor> tint) {
  if (pixelSize.isEmpty()) return {};
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QSizeF fitted = renderer.defaultSize().isEmpty() ? QSizeF(pixelSize) : QSizeF(renderer.defaultSize());
  fitted.scale(QSizeF(pixelSize), Qt::KeepAspectRatio);
  const QRectF target(QPointF((pixelSize.width() - fitted.width()) / 2, (pixelSize.height() - fitted.height()) / 2),
                      fitted);
  renderer.render(&painter, target);
  if (tint) {
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), *tint);
  }
  return image;
}

}  // namespace tavrel::ui
