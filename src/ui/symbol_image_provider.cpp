#include "ui/symbol_image_provider.h"

#include "ui/symbols.h"

namespace tavrel::ui {

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
  const auto separator = id.indexOf(QLatin1Char('?'));
  const QString name = separator < 0 ? id : id.left(separator);
  QColor color = separator < 0 ? QColor(Qt::white) : QColor(id.mid(separator + 1));
  if (!color.isValid()) color = Qt::white;
  const QSize pixelSize(requestedSize.width() > 0 ? requestedSize.width() : 32,
                        requestedSize.height() > 0 ? requestedSize.height() : 32);
  QImage image = renderSymbol(name.toStdString(), pixelSize, color);
  if (image.isNull()) {
    image = QImage(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
  }
  if (size) *size = image.size();
  return image;
}

}  // namespace tavrel::ui
