#pragma once

#include <QQuickImageProvider>

namespace tavrel::ui {

// "image://symbol/<name>?<color>" in QML: the named symbol drawn in the colour (any form QColor
// reads, "#rrggbb" or "#aarrggbb"; white when absent) at the requested size. An unknown name gives
// an empty, fully transparent image, never a broken-image placeholder.
class SymbolImageProvider final : public QQuickImageProvider {
 public:
  SymbolImageProvider();
  QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace tavrel::ui
