#pragma once

#include <QQuickImageProvider>

namespace tavrel::ui {

// Images drawn in one colour for QML, by name and optional colour: "image://symbol/<name>?<color>"
// for symbols and "image://asset/<name>?<color>" for our artwork (any colour QColor reads; a symbol
// without one is white, an asset without one keeps its own colours). An unknown name gives a fully
// transparent image, never a broken-image placeholder.
class TintedImageProvider final : public QQuickImageProvider {
 public:
  enum class Source { symbol, asset };
  explicit TintedImageProvider(Source source);
  QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

 private:
  Source source_;
};

}  // namespace tavrel::ui
