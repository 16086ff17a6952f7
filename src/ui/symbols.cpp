#include "ui/symbols.h"

#include "ui/svg_rendering.h"

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
    SymbolEntry{"info.circle", "actions/help-about"},
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
  if (!path) return {};
  return renderSvg(*path, pixelSize, color);
}

std::vector<std::string_view> knownSymbolNames() {
  std::vector<std::string_view> names;
  for (const auto& entry : kSymbols) names.push_back(entry.name);
  return names;
}

}  // namespace tavrel::ui
