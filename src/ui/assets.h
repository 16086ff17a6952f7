#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <optional>
#include <string_view>

namespace tavrel::ui {

// Our own artwork, compiled into the program: "MenuBarMark" (the product mark, a template image:
// only its alpha counts), "EmptyUploadImage", "OnboardingBackgroundPattern1" and "ShareAppIcon".

// The resource path of an asset (":/tavrel/assets/<name>.svg").
QString assetPath(std::string_view name);

// The asset drawn fitted and centred in an image of `pixelSize`; with a tint, its shape is painted
// in that colour (for template images). A name that is not one of ours gives a null image.
QImage renderAsset(std::string_view name, QSize pixelSize, std::optional<QColor> tint = std::nullopt);

}  // namespace tavrel::ui
