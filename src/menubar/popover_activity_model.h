#pragma once

#include <QAbstractListModel>
#include <optional>
#include <string>
#include <vector>

#include "transfer/transfer_feature_state.h"

namespace tavrel {

// One row of the popover's activity list.
struct PopoverActivityRow {
  enum class Kind { preparing, ready, uploading, queued, failed };

  TransferItemID id;
  Kind kind = Kind::queued;
  std::string title;
  std::string subtitle;
  std::string accessibilityLabel;
  int percent = 0;          // uploading only
  double progress = 0;      // uploading only
  bool actionEnabled = true;  // the row's cancel or retry

  friend bool operator==(const PopoverActivityRow&, const PopoverActivityRow&) = default;
};

// The rows for a state: the item being prepared, reviewed or uploaded, then the queue in order,
// then the failures newest first. A completed phase, or a review whose preparation failed with
// nothing to show, has no row of its own.
std::vector<PopoverActivityRow> popoverActivityRows(const TransferFeatureState& state);

// The activity rows for the popover's list. Rows keep their item's identity; when only figures
// change (an upload's progress), the rows are updated in place rather than rebuilt.
//
// IMPORTANT: Thread-safety. Main thread only.
class PopoverActivityModel final : public QAbstractListModel {
  Q_OBJECT
  Q_PROPERTY(int count READ count NOTIFY countChanged)

 public:
  enum Role {
    ItemIDRole = Qt::UserRole + 1,
    KindRole,
    TitleRole,
    SubtitleRole,
    AccessibilityLabelRole,
    PercentRole,
    ProgressRole,
    ActionTextRole,
    ActionEnabledRole,
    IsRevealedRole,
  };

  explicit PopoverActivityModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  int count() const { return static_cast<int>(rows_.size()); }
  const std::vector<PopoverActivityRow>& rows() const { return rows_; }
  // The row of an item, or -1.
  int indexOf(const TransferItemID& id) const;
  const PopoverActivityRow* row(const TransferItemID& id) const;

  void setRows(std::vector<PopoverActivityRow> rows);
  void setRevealedTransferID(std::optional<TransferItemID> id);

 signals:
  void countChanged();

 private:
  std::vector<PopoverActivityRow> rows_;
  std::optional<TransferItemID> revealed_;
};

}  // namespace tavrel
