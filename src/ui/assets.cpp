#include "ui/assets.h"

#include <QFile>

#include "ui/svg_rendering.h"

namespace tavrel::ui {

QString assetPath(std::string_view name) {
  return QStringLiteral(":/tavrel/assets/") +
         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) + QStringLiteral(".svg");
}

QImage renderAsset(std::string_view name, QSize pixelSize, std::optional<QColor> tint) {
  const QString path = assetPath(name);
  if (!QFile::exists(path)) return {};
  return renderSvg(path, pixelSize, tint);
}

}  // namespace tavrel::ui
