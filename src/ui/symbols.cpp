#include "ui/symbols.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <array>
#include <utility>

namespace tavrel::ui {
namespace {

constexpr auto kAdwaita = "/usr/share/icons/Adwaita/scalable/";

struct SymbolEntry {
  std::string_view name;
  std::string_view file;  // "<category>/<icon>" of the Adwaita theme, or ":/..." for our own
};

// Keep sorted by name.
constexpr std::array kSymbols = {
    SymbolEntry{"arrow.clockwise", "actions/view-refresh"},
    SymbolEntry{"checkmark", "actions/object-select"},
    SymbolEntry{"checkmark.circle.fill", "emblems/emblem-ok"},
    SymbolEntry{"doc", "mimetypes/text-x-generic"},
    SymbolEntry{"exclamationmark.triangle.fill", "status/dialog-warning"},
    SymbolEntry{"folder", "places/folder"},
    SymbolEntry{"xmark", "ui/window-close"},
};

}  // namespace

std::optional<QString> symbolImagePath(std::string_view name) {
  const auto found = std::find_if(kSymbols.begin(), kSymbols.end(),
                                  [&](const SymbolEntry& entry) { return entry.name == name; });
  if (found == kSymbols.end()) return std::nullopt;
  const auto file = QString::fromUtf8(found->file.data(), static_cast<qsizetype>(found->file.size()));
  if (file.startsWith(QLatin1Char(':'))) return file;
  return QString::fromLatin1(kAdwaita) + file + QStringLiteral("-symbolic.svg");
}

QImage renderSymbol(std::string_view name, QSize pixelSize, const QColor& color) {
  const auto path = symbolImagePath(name);
  if (!path || pixelSize.isEmpty()) return {};
  QSvgRenderer renderer(*path);
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
  // Only the shape's alpha counts: paint the colour through it.
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(image.rect(), color);
  return image;
}

std::vector<std::string_view> knownSymbolNames() {
  std::vector<std::string_view> names;
  for (const auto& entry : kSymbols) names.push_back(entry.name);
  return names;
}

}  // namespace tavrel::ui
