#include "ui/interface_setup.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickStyle>

#include "ui/file_icon_images.h"
#include "ui/symbol_image_provider.h"
#include "ui/thumbnail_images.h"

namespace tavrel::ui {

void applyInterfaceDefaults() {
  QQuickStyle::setStyle(QStringLiteral("Basic"));
  if (QFontDatabase::families().contains(QStringLiteral("Inter"))) {
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(13);
    QGuiApplication::setFont(font);
  }
}

void prepareEngine(QQmlEngine& engine) {
  engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
  // The engine owns and deletes the provider.
  engine.addImageProvider(QStringLiteral("symbol"), new TintedImageProvider(TintedImageProvider::Source::symbol));
  engine.addImageProvider(QStringLiteral("asset"), new TintedImageProvider(TintedImageProvider::Source::asset));
  engine.addImageProvider(QStringLiteral("thumbnail"), new ThumbnailImageProvider);
  engine.addImageProvider(QStringLiteral("fileicon"), new FileIconImageProvider);
}

}  // namespace tavrel::ui
