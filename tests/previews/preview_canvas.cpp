#include "previews/preview_canvas.h"

#include <QCoreApplication>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>
#include <iostream>
#include <memory>

namespace tavrel::previews {

std::vector<PreviewGroup>& previewGroups() {
  static std::vector<PreviewGroup> groups;
  return groups;
}

PreviewRegistration::PreviewRegistration(const char* group, PreviewFunction function) {
  previewGroups().push_back({group, function});
}

PreviewCanvas::PreviewCanvas(QQmlEngine& engine, std::filesystem::path folder)
    : engine_(engine), folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_);
}

void PreviewCanvas::render(const QString& name, const QString& qml, const QVariantMap& properties, QSize size,
                           const QColor& background) {
  if (settle) settle();
  QQmlComponent component(&engine_);
  component.setData(qml.toUtf8(), QUrl(QStringLiteral("qrc:/previews/") + name + QStringLiteral(".qml")));
  std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
  auto* item = qobject_cast<QQuickItem*>(object.get());
  if (!item) {
    std::cerr << "preview " << name.toStdString() << ": " << component.errorString().toStdString() << '\n';
    return;
  }
  QQuickWindow window;
  window.setColor(background);
  window.resize(size);
  item->setParentItem(window.contentItem());
  if (item->width() <= 0) item->setWidth(size.width());
  if (item->height() <= 0) item->setHeight(size.height());
  window.show();
  // Keyboard focus needs the window to be the active one.
  window.requestActivate();
  // Let animations, timers and queued work settle; the offscreen platform renders on grab.
  const auto settleAll = [this] {
    for (int i = 0; i < 20; ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 25);
      if (settle) settle();
    }
  };
  settleAll();
  if (prepare) {
    prepare(*item);
    prepare = nullptr;
    settleAll();
  }
  write(name, window.grabWindow());
  item->setParentItem(nullptr);
}

void PreviewCanvas::write(const QString& name, const QImage& image) {
  const auto file = folder_ / (name.toStdString() + ".png");
  if (!image.save(QString::fromStdString(file.string()))) {
    std::cerr << "preview " << name.toStdString() << ": could not write " << file << '\n';
    return;
  }
  written_.push_back(file);
}

}  // namespace tavrel::previews
