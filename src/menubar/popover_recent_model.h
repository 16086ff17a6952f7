#pragma once

#include <QAbstractListModel>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "records/transfer_service_records.h"

namespace tavrel {

// The symbol of a transfer from its content types, file count and title.
using TransferSymbolNaming =
    std::function<std::string(const std::vector<std::string>& mimeTypes, std::int64_t fileCount, const std::string& title)>;

// The content types a recent row's icon is chosen by: the list, else the one type, else none.
std::vector<std::string> recentTransferContentTypes(const RecentTransfer& transfer);

// The recent transfers for the popover's list, with their subtitles as of `now` and the row whose
// link was just copied.
//
// IMPORTANT: Thread-safety. Main thread only.
class PopoverRecentModel final : public QAbstractListModel {
  Q_OBJECT
  Q_PROPERTY(int count READ count NOTIFY countChanged)

 public:
  enum Role {
    TransferIDRole = Qt::UserRole + 1,
    TitleRole,
    SubtitleRole,
    SymbolNameRole,
    AccessibilityLabelRole,
    HelpTextRole,
    CanCopyRole,
    IsCopiedRole,
    CopyTextRole,
    CopySymbolRole,
  };

  explicit PopoverRecentModel(TransferSymbolNaming symbolNaming, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  int count() const { return static_cast<int>(transfers_.size()); }
  const std::vector<RecentTransfer>& transfers() const { return transfers_; }
  const RecentTransfer* transfer(const std::string& id) const;
  std::string subtitle(int row) const;

  // Updates the rows in place by transfer identity: rows of transfers that stay are changed (and
  // moved) where they are, and only transfers that came or went are inserted or removed.
  void setTransfers(std::vector<RecentTransfer> transfers, std::chrono::system_clock::time_point now);
  // Ages are recomputed for this moment.
  void setNow(std::chrono::system_clock::time_point now);
  void setCopiedTransferID(std::optional<std::string> id);

 signals:
  void countChanged();

 private:
  int indexOf(const std::string& id) const;
  void updateRow(int row, RecentTransfer transfer, bool aged);
  std::string symbolOf(const RecentTransfer& transfer) const;

  TransferSymbolNaming symbolNaming_;
  std::vector<RecentTransfer> transfers_;
  std::vector<std::string> symbols_;
  std::chrono::system_clock::time_point now_;
  std::optional<std::string> copiedID_;
};

}  // namespace tavrel
