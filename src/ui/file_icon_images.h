#pragma once

#include <QQuickImageProvider>

namespace tavrel::ui {

// Makes the icon theme usable where no desktop's platform theme sets it up (offscreen, a bare X
// session): the system's icon folders on the search path, Adwaita where the theme is unset or only
// hicolor, and Adwaita as the fallback. Main thread; call before the first icon is looked up.
void prepareIconTheme();

// The desktop's icons for files, as `image://fileicon/<icon name>/<fallback name>...`: the first
// name the icon theme draws wins, else a plain page. Names are those of content types
// (`QMimeType::iconName`, `genericIconName`).
class FileIconImageProvider final : public QQuickImageProvider {
 public:
  FileIconImageProvider();
  QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

  // The id for a file at `path` (a folder when `isFolder`).
  static QString idForFile(const QString& path, bool isFolder);
};

}  // namespace tavrel::ui
