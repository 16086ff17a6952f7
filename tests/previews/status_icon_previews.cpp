#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>
#include <vector>

#include "menubar/status_icon/menu_bar_status_icon_renderer.h"
#include "ui/color_scheme.h"
#include "previews/preview_canvas.h"

namespace {

using tavrel::MenuBarStatusIconRenderer;
using tavrel::MenuBarTransferIndicator;
namespace indicator = tavrel::menu_bar_indicator;

// Local files load at once; the canvas takes its picture before a data URL would have decoded.
QString savedUrl(const QImage& image, const QTemporaryDir& folder, const QString& name) {
  const QString path = folder.filePath(name + QStringLiteral(".png"));
  image.save(path, "PNG");
  return QUrl::fromLocalFile(path).toString();
}

// One sheet: every indicator at 1x (top row) and 2x (bottom row), each blown up to 96 pixels
// without smoothing so its device pixels show, on the panel's colour.
QImage sheet(const MenuBarStatusIconRenderer& renderer, const QColor& panel) {
  const std::vector<MenuBarTransferIndicator> indicators{
      indicator::Idle{},       indicator::Preparing{},   indicator::uploading(0),
      indicator::uploading(3), indicator::uploading(50), indicator::uploading(100),
      indicator::Ready{},      indicator::Failed{},      indicator::Completed{}};
  QImage result(static_cast<int>(indicators.size()) * 108 + 12, 2 * 108 + 12,
                QImage::Format_ARGB32_Premultiplied);
  result.fill(panel);
  QPainter painter(&result);
  for (int row = 0; row < 2; ++row) {
    for (std::size_t column = 0; column < indicators.size(); ++column) {
      QImage image = renderer.image(indicators[column], 0, false, row + 1);
      image.setDevicePixelRatio(1);
      painter.drawImage(QRect(12 + static_cast<int>(column) * 108, 12 + row * 108, 96, 96), image);
    }
  }
  return result;
}

const QString kImageScene = QStringLiteral(R"(
    import QtQuick
    Image { property string picture; source: picture; smooth: false })");

}  // namespace

TAVREL_PREVIEWS(status_icon) {
  const QTemporaryDir folder;
  const QColor darkPanel(0x24, 0x24, 0x28);
  const QColor lightPanel(0xf2, 0xf2, 0xf4);
  const MenuBarStatusIconRenderer onDark(MenuBarStatusIconRenderer::programMark());
  const MenuBarStatusIconRenderer onLight(
      MenuBarStatusIconRenderer::programMark(),
      MenuBarStatusIconRenderer::colorFor(tavrel::ui::ColorScheme::light));
  // A fresh KDE Plasma profile, where nothing but the desktop's name tells of its light Breeze panel.
  const QColor breezePanel(0xef, 0xf0, 0xf1);
  const MenuBarStatusIconRenderer onFreshPlasma(
      MenuBarStatusIconRenderer::programMark(),
      MenuBarStatusIconRenderer::colorFor(
          tavrel::ui::panelColorScheme({.desktopDefault = tavrel::ui::desktopPanelDefault("KDE")})));
  for (const auto& [name, image] :
       {std::pair{QStringLiteral("indicators-dark-panel"), sheet(onDark, darkPanel)},
        std::pair{QStringLiteral("indicators-light-panel"), sheet(onLight, lightPanel)},
        std::pair{QStringLiteral("indicators-fresh-plasma-panel"), sheet(onFreshPlasma, breezePanel)}}) {
    canvas.render(name, kImageScene, {{"picture", savedUrl(image, folder, name)}}, image.size());
  }
  // The twelve frames of the turning arc at 2x, actual size.
  QImage frames(MenuBarStatusIconRenderer::kFrameCount * 56 + 8, 64, QImage::Format_ARGB32_Premultiplied);
  frames.fill(darkPanel);
  {
    QPainter painter(&frames);
    for (int frame = 0; frame < MenuBarStatusIconRenderer::kFrameCount; ++frame) {
      QImage image = onDark.image(indicator::Preparing{}, frame, false, 2);
      image.setDevicePixelRatio(1);
      painter.drawImage(QPoint(8 + frame * 56, 8), image);
    }
  }
  canvas.render(QStringLiteral("preparing-frames"), kImageScene,
                {{"picture", savedUrl(frames, folder, QStringLiteral("frames"))}}, frames.size());
}
