#include "shareextension/share_item_list_model.h"

#include <QCoreApplication>
#include <QMimeDatabase>
#include <QMimeType>
#include <array>
#include <cmath>
#include <string>

#include "platform/content_types.h"

namespace tavrel {

void ShareItemListModel::setItems(const std::vector<LoadedShareExtensionItem>& items) {
  if (items == items_) return;
  const bool countChanges = items.size() != items_.size();
  beginResetModel();
  items_ = items;
  endResetModel();
  if (countChanges) emit countChanged();
}

int ShareItemListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant ShareItemListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= items_.size()) return {};
  const auto& item = items_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case displayNameRole:
      return QString::fromStdString(item.handoffItem.displayName);
    case filePathRole:
      return QString::fromStdString(item.sourceURL.string());
    case isFolderRole:
      return item.handoffItem.kind == ShareHandoffItemKind::folder;
    case typeBadgeRole:
      return typeBadgeText(item);
    case sizeTextRole:
      return item.byteCount ? byteCountText(*item.byteCount) : QString();
    case wantsThumbnailRole:
      return wantsThumbnail(item);
    case iconNameRole:
      return iconName(item);
    case genericIconNameRole:
      return genericIconName(item);
    case sheetRole:
      return QVariant::fromValue(sheet_);
    default:
      return {};
  }
}

QHash<int, QByteArray> ShareItemListModel::roleNames() const {
  return {{displayNameRole, "displayName"}, {filePathRole, "filePath"},     {isFolderRole, "isFolder"},
          {typeBadgeRole, "typeBadge"},     {sizeTextRole, "sizeText"},     {wantsThumbnailRole, "wantsThumbnail"},
          {iconNameRole, "iconName"},       {genericIconNameRole, "genericIconName"},
          {sheetRole, "sheet"}};
}

QString ShareItemListModel::typeBadgeText(const LoadedShareExtensionItem& item) {
  if (item.handoffItem.kind == ShareHandoffItemKind::folder) {
    //: The kind badge of a shared folder, in capitals like a file's extension ("PDF").
    return QCoreApplication::translate("ShareSheet", "FOLDER");
  }
  // The extension is a view into the name, so the name must outlive it.
  const std::string fileName = item.sourceURL.filename().string();
  const auto extension = platform::pathExtension(fileName);
  if (!extension.empty()) return QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size())).toUpper();
  if (item.contentTypeIdentifier) {
    const QMimeType type = QMimeDatabase().mimeTypeForName(QString::fromStdString(*item.contentTypeIdentifier));
    if (type.isValid() && !type.preferredSuffix().isEmpty()) return type.preferredSuffix().toUpper();
  }
  //: The kind badge of a shared file without an extension, in capitals like an extension ("PDF").
  return QCoreApplication::translate("ShareSheet", "FILE");
}

QString ShareItemListModel::byteCountText(std::int64_t byteCount) {
  if (byteCount <= 0) return QStringLiteral("0 bytes");
  if (byteCount == 1) return QStringLiteral("1 byte");
  if (byteCount < 1000) return QStringLiteral("%1 bytes").arg(byteCount);
  // Whole kilobytes, megabytes to one decimal, larger units to two; trailing zeros dropped, and a
  // value that rounds up to 1,000 moves to the next unit.
  static constexpr std::array<const char*, 5> units{"KB", "MB", "GB", "TB", "PB"};
  static constexpr std::array<int, 5> decimals{0, 1, 2, 2, 2};
  double value = static_cast<double>(byteCount);
  for (std::size_t unit = 0; unit < units.size(); ++unit) {
    value /= 1000.0;
    const double factor = std::pow(10.0, decimals[unit]);
    const double rounded = std::round(value * factor) / factor;
    if (rounded < 1000.0 || unit + 1 == units.size()) {
      QString number = QString::number(rounded, 'f', decimals[unit]);
      if (number.contains(QLatin1Char('.'))) {
        while (number.endsWith(QLatin1Char('0'))) number.chop(1);
        if (number.endsWith(QLatin1Char('.'))) number.chop(1);
      }
      return number + QLatin1Char(' ') + QString::fromLatin1(units[unit]);
    }
  }
  return {};
}

bool ShareItemListModel::wantsThumbnail(const LoadedShareExtensionItem& item) {
  if (item.handoffItem.kind == ShareHandoffItemKind::folder || !item.contentTypeIdentifier) return false;
  if (!QMimeDatabase().mimeTypeForName(QString::fromStdString(*item.contentTypeIdentifier)).isValid()) return false;
  return platform::conformsToImage(*item.contentTypeIdentifier);
}

namespace {

QMimeType mimeTypeOf(const LoadedShareExtensionItem& item) {
  QMimeDatabase database;
  QMimeType type;
  if (item.contentTypeIdentifier) type = database.mimeTypeForName(QString::fromStdString(*item.contentTypeIdentifier));
  if (!type.isValid()) {
    type = database.mimeTypeForFile(QString::fromStdString(item.sourceURL.filename().string()),
                                    QMimeDatabase::MatchExtension);
  }
  return type;
}

}  // namespace

QString ShareItemListModel::iconName(const LoadedShareExtensionItem& item) {
  if (item.handoffItem.kind == ShareHandoffItemKind::folder) return QStringLiteral("folder");
  return mimeTypeOf(item).iconName();
}

QString ShareItemListModel::genericIconName(const LoadedShareExtensionItem& item) {
  if (item.handoffItem.kind == ShareHandoffItemKind::folder) return QStringLiteral("inode-directory");
  return mimeTypeOf(item).genericIconName();
}

}  // namespace tavrel
