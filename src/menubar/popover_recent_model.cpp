#include "menubar/popover_recent_model.h"

#include <QCoreApplication>
#include <algorithm>
#include <unordered_map>

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

// Rows keep their identity: a row whose transfer stays is updated where it is (or moved), and only
// transfers that came or went are inserted or removed. A reset would rebuild every row of the view,
// and a rebuilt row forgets that the pointer is over it (its copy button hides until the pointer
// moves).
void PopoverRecentModel::setTransfers(std::vector<RecentTransfer> transfers, std::chrono::system_clock::time_point now) {
  if (transfers == transfers_ && now == now_) return;
  const auto oldCount = count();
  const bool aged = now != now_;
  now_ = now;

  // Rows whose transfer is no longer listed go first, so that the rest need not move past them.
  std::unordered_map<std::string, int> listed;
  for (const auto& transfer : transfers) ++listed[transfer.id];
  for (int row = count() - 1; row >= 0; --row) {
    const auto found = listed.find(transfers_[static_cast<std::size_t>(row)].id);
    if (found != listed.end() && found->second > 0) {
      --found->second;
      continue;
    }
    beginRemoveRows({}, row, row);
    transfers_.erase(transfers_.begin() + row);
    symbols_.erase(symbols_.begin() + row);
    endRemoveRows();
  }

  for (int row = 0; row < static_cast<int>(transfers.size()); ++row) {
    auto& wanted = transfers[static_cast<std::size_t>(row)];
    if (row < count() && transfers_[static_cast<std::size_t>(row)].id == wanted.id) {
      updateRow(row, std::move(wanted), aged);
      continue;
    }
    const auto later = std::find_if(transfers_.begin() + row, transfers_.end(),
                                    [&](const auto& transfer) { return transfer.id == wanted.id; });
    if (later != transfers_.end()) {
      const auto from = static_cast<int>(later - transfers_.begin());
      beginMoveRows({}, from, from, {}, row);
      std::rotate(transfers_.begin() + row, later, later + 1);
      std::rotate(symbols_.begin() + row, symbols_.begin() + from, symbols_.begin() + from + 1);
      endMoveRows();
      updateRow(row, std::move(wanted), aged);
      continue;
    }
    beginInsertRows({}, row, row);
    symbols_.insert(symbols_.begin() + row, symbolOf(wanted));
    transfers_.insert(transfers_.begin() + row, std::move(wanted));
    endInsertRows();
  }
  if (count() > static_cast<int>(transfers.size())) {
    beginRemoveRows({}, static_cast<int>(transfers.size()), count() - 1);
    transfers_.resize(transfers.size());
    symbols_.resize(transfers.size());
    endRemoveRows();
  }
  if (oldCount != count()) emit countChanged();
}

void PopoverRecentModel::updateRow(int row, RecentTransfer transfer, bool aged) {
  auto& current = transfers_[static_cast<std::size_t>(row)];
  if (current == transfer) {
    if (aged) emit dataChanged(index(row), index(row), {SubtitleRole, AccessibilityLabelRole});
    return;
  }
  symbols_[static_cast<std::size_t>(row)] = symbolOf(transfer);
  current = std::move(transfer);
  emit dataChanged(index(row), index(row));
}

std::string PopoverRecentModel::symbolOf(const RecentTransfer& transfer) const {
  return symbolNaming_ ? symbolNaming_(recentTransferContentTypes(transfer), transfer.fileCount, transfer.title)
                       : std::string();
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
