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

// Keep sorted by name (a test checks). Names the theme has nothing fitting for are drawn by our own
// files in ui/symbols/, one per name.
constexpr std::array kSymbols = {
    SymbolEntry{"app.dashed", ":/tavrel/symbols/app.dashed.svg"},
    SymbolEntry{"archivebox.fill", ":/tavrel/symbols/archivebox.fill.svg"},
    SymbolEntry{"arrow.clockwise", "actions/view-refresh"},
    SymbolEntry{"arrow.down.right.and.arrow.up.left", "actions/view-restore"},
    SymbolEntry{"arrow.left.arrow.right", "status/network-transmit-receive"},
    SymbolEntry{"arrow.up.circle.fill", ":/tavrel/symbols/arrow.up.circle.fill.svg"},
    SymbolEntry{"arrow.up.forward", ":/tavrel/symbols/arrow.up.forward.svg"},
    SymbolEntry{"beats.headphones", "devices/audio-headphones"},
    SymbolEntry{"button.roundedbottom.horizontal", ":/tavrel/symbols/button.roundedbottom.horizontal.svg"},
    SymbolEntry{"checkmark", "actions/object-select"},
    SymbolEntry{"checkmark.circle", ":/tavrel/symbols/checkmark.circle.svg"},
    SymbolEntry{"checkmark.circle.fill", "emblems/emblem-default"},
    SymbolEntry{"chevron.left", "actions/go-previous"},
    SymbolEntry{"chevron.right", "actions/go-next"},
    SymbolEntry{"clock", "categories/emoji-recent"},
    SymbolEntry{"curlybraces", ":/tavrel/symbols/curlybraces.svg"},
    SymbolEntry{"curlybraces.square", ":/tavrel/symbols/curlybraces.square.svg"},
    SymbolEntry{"doc", "mimetypes/text-x-generic"},
    SymbolEntry{"doc.on.doc", ":/tavrel/symbols/doc.on.doc.svg"},
    SymbolEntry{"doc.plaintext", ":/tavrel/symbols/doc.plaintext.svg"},
    SymbolEntry{"ellipsis", "actions/view-more-horizontal"},
    SymbolEntry{"exclamationmark.arrow.trianglehead.2.clockwise.rotate.90",
                ":/tavrel/symbols/exclamationmark.arrow.trianglehead.2.clockwise.rotate.90.svg"},
    SymbolEntry{"exclamationmark.circle.fill", "emblems/emblem-important"},
    SymbolEntry{"exclamationmark.triangle", ":/tavrel/symbols/exclamationmark.triangle.svg"},
    SymbolEntry{"exclamationmark.triangle.fill", "status/dialog-warning"},
    SymbolEntry{"film", ":/tavrel/symbols/film.svg"},
    SymbolEntry{"film.stack", ":/tavrel/symbols/film.stack.svg"},
    SymbolEntry{"folder", "places/folder"},
    SymbolEntry{"gearshape", "emblems/emblem-system"},
    SymbolEntry{"gearshape.fill", "emblems/emblem-system"},
    SymbolEntry{"info.circle", "actions/help-about"},
    SymbolEntry{"macwindow", ":/tavrel/symbols/macwindow.svg"},
    SymbolEntry{"macwindow.on.rectangle", ":/tavrel/symbols/macwindow.on.rectangle.svg"},
    SymbolEntry{"music.note.list", "mimetypes/audio-x-generic"},
    SymbolEntry{"paperclip", "status/mail-attachment"},
    SymbolEntry{"person.crop.circle", ":/tavrel/symbols/person.crop.circle.svg"},
    SymbolEntry{"person.crop.circle.badge.minus", ":/tavrel/symbols/person.crop.circle.badge.minus.svg"},
    SymbolEntry{"person.crop.circle.fill", ":/tavrel/symbols/person.crop.circle.fill.svg"},
    SymbolEntry{"person.fill", "status/avatar-default"},
    SymbolEntry{"photo", "mimetypes/image-x-generic"},
    SymbolEntry{"photo.stack", ":/tavrel/symbols/photo.stack.svg"},
    SymbolEntry{"play.circle.fill", ":/tavrel/symbols/play.circle.fill.svg"},
    SymbolEntry{"plus", "actions/list-add"},
    SymbolEntry{"power", "actions/system-shutdown"},
    SymbolEntry{"rays", ":/tavrel/symbols/rays.svg"},
    SymbolEntry{"safari", ":/tavrel/symbols/safari.svg"},
    SymbolEntry{"shippingbox.fill", "mimetypes/package-x-generic"},
    SymbolEntry{"square.on.square", "actions/edit-copy"},
    SymbolEntry{"square.stack.3d.up", ":/tavrel/symbols/square.stack.3d.up.svg"},
    SymbolEntry{"text.document.fill", "mimetypes/x-office-document"},
    SymbolEntry{"wifi.exclamationmark", ":/tavrel/symbols/wifi.exclamationmark.svg"},
    SymbolEntry{"xmark", "ui/window-close"},
    SymbolEntry{"zipper.page", ":/tavrel/symbols/zipper.page.svg"},
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
