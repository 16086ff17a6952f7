#include "menubar/popover_recent_model.h"

#include <QCoreApplication>
#include <algorithm>

#include "menubar/popover_texts.h"

namespace tavrel {

std::vector<std::string> recentTransferContentTypes(const RecentTransfer& transfer) {
  if (!transfer.mimeTypes.empty()) return transfer.mimeTypes;
  if (transfer.mimeType) return {*transfer.mimeType};
  return {};
}

PopoverRecentModel::PopoverRecentModel(TransferSymbolNaming symbolNaming, QObject* parent)
    : QAbstractListModel(parent), symbolNaming_(std::move(symbolNaming)) {}

int PopoverRecentModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(transfers_.size());
}

std::string PopoverRecentModel::subtitle(int row) const {
  return recentSubtitle(transfers_.at(static_cast<std::size_t>(row)), now_);
}

QVariant PopoverRecentModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= count()) return {};
  const auto& transfer = transfers_[static_cast<std::size_t>(index.row())];
  const bool copied = copiedID_ == transfer.id;
  switch (role) {
    case TransferIDRole: return QString::fromStdString(transfer.id);
    case TitleRole: return QString::fromStdString(transfer.title);
    case SubtitleRole: return QString::fromStdString(subtitle(index.row()));
    case SymbolNameRole: return QString::fromStdString(symbols_[static_cast<std::size_t>(index.row())]);
    case AccessibilityLabelRole:
      //: A recent transfer as a screen reader reads its row: its title (%1), then its details (%2).
      return QCoreApplication::translate("PopoverRecent", "%1, %2")
          .arg(QString::fromStdString(transfer.title), QString::fromStdString(subtitle(index.row())));
    case HelpTextRole:
      return QCoreApplication::translate("PopoverRecent", "View %1")
          .arg(QString::fromStdString(transfer.title));
    // A row without a download slug has no link to copy.
    case CanCopyRole: return !copied && !transfer.downloadSlug.empty();
    case IsCopiedRole: return copied;
    case CopyTextRole:
      return copied ? QCoreApplication::translate("PopoverRecent", "Link copied")
                    : QCoreApplication::translate("PopoverRecent", "Copy link");
    case CopySymbolRole: return copied ? QStringLiteral("checkmark") : QStringLiteral("square.on.square");
    default: return {};
  }
}

QHash<int, QByteArray> PopoverRecentModel::roleNames() const {
  return {{TransferIDRole, "transferID"},     {TitleRole, "title"},
          {SubtitleRole, "subtitle"},         {SymbolNameRole, "symbolName"},
          {AccessibilityLabelRole, "accessibilityLabel"}, {HelpTextRole, "helpText"},
          {CanCopyRole, "canCopy"},           {IsCopiedRole, "isCopied"},
          {CopyTextRole, "copyText"},         {CopySymbolRole, "copySymbol"}};
}

const RecentTransfer* PopoverRecentModel::transfer(const std::string& id) const {
  const auto index = indexOf(id);
  return index < 0 ? nullptr : &transfers_[static_cast<std::size_t>(index)];
}

int PopoverRecentModel::indexOf(const std::string& id) const {
  const auto found = std::find_if(transfers_.begin(), transfers_.end(), [&](const auto& t) { return t.id == id; });
  return found == transfers_.end() ? -1 : static_cast<int>(found - transfers_.begin());
}

void PopoverRecentModel::setTransfers(std::vector<RecentTransfer> transfers, std::chrono::system_clock::time_point now) {
  if (transfers == transfers_ && now == now_) return;
  const auto oldCount = count();
  beginResetModel();
  transfers_ = std::move(transfers);
  now_ = now;
  symbols_.clear();
  for (const auto& transfer : transfers_) {
    symbols_.push_back(symbolNaming_ ? symbolNaming_(recentTransferContentTypes(transfer), transfer.fileCount, transfer.title)
                                     : std::string());
  }
  endResetModel();
  if (oldCount != count()) emit countChanged();
}

void PopoverRecentModel::setNow(std::chrono::system_clock::time_point now) {
  if (now == now_) return;
  now_ = now;
  if (!transfers_.empty()) emit dataChanged(index(0), index(count() - 1), {SubtitleRole, AccessibilityLabelRole});
}

void PopoverRecentModel::setCopiedTransferID(std::optional<std::string> id) {
  if (copiedID_ == id) return;
  const auto before = copiedID_ ? indexOf(*copiedID_) : -1;
  copiedID_ = std::move(id);
  const auto after = copiedID_ ? indexOf(*copiedID_) : -1;
  for (const auto changed : {before, after}) {
    if (changed >= 0) {
      emit dataChanged(index(changed), index(changed), {CanCopyRole, IsCopiedRole, CopyTextRole, CopySymbolRole});
    }
  }
}

}  // namespace tavrel
