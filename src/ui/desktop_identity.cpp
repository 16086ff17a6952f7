#include "ui/desktop_identity.h"

#include <QGuiApplication>
#include <QPixmap>

#include "ui/svg_rendering.h"

namespace tavrel::ui {
namespace {

QString fromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void applyDesktopIdentity(const DesktopIdentity& identity) {
  QGuiApplication::setApplicationName(fromView(identity.windowClass));
  QGuiApplication::setDesktopFileName(fromView(identity.desktopFileName));
  QGuiApplication::setWindowIcon(applicationIcon());
}

QIcon applicationIcon() {
  // Drawn once per size: X11 carries every size in the window's _NET_WM_ICON, and an SVG icon
  // engine is not always installed. Up to 128 pixels keeps the property well inside one request.
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) {
    const QImage image = renderSvg(QStringLiteral(":/tavrel/icons/com.tavrel.macos.svg"), QSize(size, size), std::nullopt);
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

}  // namespace tavrel::ui
