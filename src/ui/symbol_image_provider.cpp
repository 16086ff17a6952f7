#include "ui/symbol_image_provider.h"

#include "ui/assets.h"
#include "ui/symbols.h"

namespace tavrel::ui {

TintedImageProvider::TintedImageProvider(Source source)
    : QQuickImageProvider(QQuickImageProvider::Image), source_(source) {}

QImage TintedImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
  const auto separator = id.indexOf(QLatin1Char('?'));
  const QString name = separator < 0 ? id : id.left(separator);
  std::optional<QColor> color;
  if (separator >= 0) {
    const QColor parsed(id.mid(separator + 1));
    if (parsed.isValid()) color = parsed;
  }
  const QSize pixelSize(requestedSize.width() > 0 ? requestedSize.width() : 32,
                        requestedSize.height() > 0 ? requestedSize.height() : 32);
  const std::string key = name.toStdString();
  QImage image = source_ == Source::symbol ? renderSymbol(key, pixelSize, color.value_or(QColor(Qt::white)))
                                           : renderAsset(key, pixelSize, color);
  if (image.isNull()) {
    image = QImage(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
  }
  if (size) *size = image.size();
  return image;
}

}  // namespace tavrel::ui
