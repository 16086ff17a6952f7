#include "ui/file_icon_images.h"

#include <QIcon>
#include <QMimeDatabase>
#include <QStandardPaths>

namespace tavrel::ui {

void prepareIconTheme() {
  // Without a desktop's platform theme Qt looks in its resources only.
  QStringList paths = QIcon::themeSearchPaths();
  for (const QString& folder : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                                         QStandardPaths::LocateDirectory)) {
    if (!paths.contains(folder)) paths.append(folder);
  }
  QIcon::setThemeSearchPaths(paths);
  const QString theme = QIcon::themeName();
  if (theme.isEmpty() || theme == QLatin1String("hicolor")) QIcon::setThemeName(QStringLiteral("Adwaita"));
  if (QIcon::fallbackThemeName().isEmpty()) QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

FileIconImageProvider::FileIconImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage FileIconImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
  static const bool prepared = (prepareIconTheme(), true);
  (void)prepared;
  QIcon icon;
  for (const QString& name : id.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    icon = QIcon::fromTheme(name);
    if (!icon.isNull()) break;
  }
  if (icon.isNull()) icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
  const QSize side = requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(84, 84);
  QImage image = icon.isNull() ? QImage() : icon.pixmap(side).toImage();
  if (size) *size = image.size();
  return image;
}

QString FileIconImageProvider::idForFile(const QString& path, bool isFolder) {
  if (isFolder) return QStringLiteral("image://fileicon/folder/inode-directory");
  const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
  return QStringLiteral("image://fileicon/") + type.iconName() + QLatin1Char('/') + type.genericIconName();
}

}  // namespace tavrel::ui
