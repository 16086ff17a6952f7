#pragma once

#include <QAbstractListModel>
#include <QString>
#include <cstdint>
#include <optional>
#include <qqmlintegration.h>
#include <vector>

#include "shareextension/core/share_extension_item_loader.h"

namespace tavrel {

// The rows of the share sheet: one per loaded item, in order, with the texts each row shows.
//
// IMPORTANT: Thread-safety. Main thread only.
class ShareItemListModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("The share sheet makes its rows.")
  Q_PROPERTY(int count READ rowCount NOTIFY countChanged)

 public:
  enum Role {
    displayNameRole = Qt::UserRole + 1,
    filePathRole,
    isFolderRole,
    typeBadgeRole,
    sizeTextRole,  // empty when the size is unknown
    wantsThumbnailRole,
    iconNameRole,
    genericIconNameRole,
    sheetRole,  // the sheet the rows belong to, where each row gets its thumbnail loader
  };

  explicit ShareItemListModel(QObject* sheet = nullptr, QObject* parent = nullptr)
      : QAbstractListModel(parent), sheet_(sheet) {}

  // Replaces the rows, unless the items are the ones already shown: rows and their thumbnails then
  // stay as they are (ready and handing off show the same list).
  void setItems(const std::vector<LoadedShareExtensionItem>& items);
  const std::vector<LoadedShareExtensionItem>& items() const { return items_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  // "FOLDER"; else the path's extension in upper case; else the content type's preferred extension
  // in upper case; else "FILE".
  static QString typeBadgeText(const LoadedShareExtensionItem& item);
  // "0 bytes" for zero, else the size in decimal units as file sizes are written.
  static QString byteCountText(std::int64_t byteCount);
  // Only images are worth a thumbnail; every other row shows its icon.
  static bool wantsThumbnail(const LoadedShareExtensionItem& item);
  // The icon theme's name for the item's type, "folder" for folders.
  static QString iconName(const LoadedShareExtensionItem& item);
  // The icon of the type's family ("x-office-document", "image-x-generic"), for themes without the
  // type's own.
  static QString genericIconName(const LoadedShareExtensionItem& item);

 signals:
  void countChanged();

 private:
  QObject* sheet_;
  std::vector<LoadedShareExtensionItem> items_;
};

}  // namespace tavrel
