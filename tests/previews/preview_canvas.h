#pragma once

#include <QColor>
#include <QSize>
#include <QString>
#include <QVariantMap>
#include <filesystem>
#include <functional>
#include <vector>

class QImage;
class QQmlEngine;
class QQuickItem;

namespace tavrel::previews {

// Renders views to PNG files for people to look at. Asserts nothing.
class PreviewCanvas {
 public:
  PreviewCanvas(QQmlEngine& engine, std::filesystem::path folder);

  // Makes the component `qml` (QML text, which imports what it uses) with `properties`, shows it in
  // an offscreen window of `size` on `background`, lets every animation settle and writes
  // <folder>/<name>.png. A component that fails to load is reported on standard error and skipped.
  void render(const QString& name, const QString& qml, const QVariantMap& properties, QSize size,
              const QColor& background = QColor(0x1c, 0x1c, 0x1e));

  // Writes an image drawn some other way (a widget's grab) as <folder>/<name>.png.
  void write(const QString& name, const QImage& image);

  // Runs pending main-thread work (posted tasks, queued calls) before a render.
  std::function<void()> settle;

  // Run on the shown view once it has settled (focus a control, say), for the next render only.
  std::function<void(QQuickItem& view)> prepare;

  const std::vector<std::filesystem::path>& written() const { return written_; }

 private:
  QQmlEngine& engine_;
  std::filesystem::path folder_;
  std::vector<std::filesystem::path> written_;
};

using PreviewFunction = void (*)(PreviewCanvas&);

// Registers one group of scenes; done by TAVREL_PREVIEWS at static initialisation.
struct PreviewRegistration {
  PreviewRegistration(const char* group, PreviewFunction function);
};

struct PreviewGroup {
  const char* name;
  PreviewFunction function;
};
std::vector<PreviewGroup>& previewGroups();

}  // namespace tavrel::previews

// Defines the scenes of one group: TAVREL_PREVIEWS(controls) { canvas.render(...); }
#define TAVREL_PREVIEWS(group)                                                                    \
  static void group##Previews(::tavrel::previews::PreviewCanvas& canvas);                         \
  static const ::tavrel::previews::PreviewRegistration group##PreviewRegistration(#group,         \
                                                                                 &group##Previews); \
  static void group##Previews([[maybe_unused]] ::tavrel::previews::PreviewCanvas& canvas)
