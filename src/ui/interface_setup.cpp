#include "ui/interface_setup.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include "ui/file_icon_images.h"
#include "ui/symbol_image_provider.h"
#include "ui/thumbnail_images.h"

namespace tavrel::ui {

bool environmentChoosesSceneGraphBackend(const QProcessEnvironment& environment) {
  for (const auto* name : {"QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI_BACKEND"}) {
    if (!environment.value(QString::fromLatin1(name)).isEmpty()) return true;
  }
  return false;
}

void applyInterfaceDefaults() {
  QQuickStyle::setStyle(QStringLiteral("Basic"));
  // Our views use no shader effects: the software renderer draws them alike. OpenGL drawn by Mesa
  // in software (no GPU driver, a virtual machine) took more than twice the memory and a core or
  // two while a spinner turned; with a GPU it still loads a driver the program has no use for.
  if (!environmentChoosesSceneGraphBackend(QProcessEnvironment::systemEnvironment())) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  }
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
