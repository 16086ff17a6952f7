#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>
#include <string_view>
#include <vector>

namespace tavrel::ui {

// Symbols are named as the interface names them ("arrow.up.circle.fill", "doc", ...). One table maps
// each name to a symbolic icon of the Adwaita theme, read from its installed folder (so it works
// offscreen and whatever the desktop's theme), or to our own SVG in the program's resources where
// the theme has nothing that fits. Symbolic icons are single-colour shapes: only their alpha counts,
// and they are drawn in the colour the caller asks for.

// The file (an absolute path or a ":/" resource path) that draws `name`, or nothing when the table
// does not know it.
std::optional<QString> symbolImagePath(std::string_view name);

// `name` drawn in `color`, fitted and centred in an image of `pixelSize` (premultiplied ARGB). A
// name that is unknown, or whose file cannot be read, gives a null image: callers draw nothing.
QImage renderSymbol(std::string_view name, QSize pixelSize, const QColor& color);

// Every name the table knows, for the check that each one resolves.
std::vector<std::string_view> knownSymbolNames();

}  // namespace tavrel::ui
