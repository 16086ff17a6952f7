#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace tavrel::ui {

// The SVG file drawn fitted (aspect kept) and centred in a transparent image of `pixelSize`; with a
// tint, everything drawn is painted in that colour, keeping only its alpha. A file that cannot be
// read, or an empty size, gives a null image.
QImage renderSvg(const QString& path, QSize pixelSize, std::optional<QColor> tint);

}  // namespace tavrel::ui
