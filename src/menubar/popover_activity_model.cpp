#include "menubar/popover_activity_model.h"

#include <QCoreApplication>
#include <algorithm>

#include "menubar/popover_texts.h"
#include "ui/translations.h"

namespace tavrel {
namespace {

using Kind = PopoverActivityRow::Kind;

// A translated text with one part from data.
std::string filled(const QString& pattern, const std::string& part) {
  return pattern.arg(QString::fromStdString(part)).toStdString();
}

std::string titleOf(const TransferSelection& selection) {
  return selection.items.empty()
             ? QCoreApplication::translate("PopoverActivity", "Untitled Transfer").toStdString()
             : selection.items.front().displayName;
}

QString kindName(Kind kind) {
  switch (kind) {
    case Kind::preparing: return QStringLiteral("preparing");
    case Kind::ready: return QStringLiteral("ready");
    case Kind::uploading: return QStringLiteral("uploading");
    case Kind::queued: return QStringLiteral("queued");
    case Kind::failed: return QStringLiteral("failed");
  }
  return {};
}

QString actionText(Kind kind) {
  switch (kind) {
    case Kind::preparing:
      return QCoreApplication::translate("PopoverActivity", "Cancel preparation");
    case Kind::ready:
      return QCoreApplication::translate("PopoverActivity", "Cancel");
    case Kind::uploading:
      return QCoreApplication::translate("PopoverActivity", "Cancel upload");
    case Kind::queued:
      return QCoreApplication::translate("PopoverActivity", "Cancel queued transfer");
    case Kind::failed:
      return QCoreApplication::translate("PopoverActivity", "Retry transfer");
  }
  return {};
}

std::optional<PopoverActivityRow> activeRow(const TransferFeatureState& state, const TransferItemID& id) {
  if (const auto* review = reviewState(state.phase)) {
    const auto title = titleOf(review->selection);
    if (std::holds_alternative<review_preparation::Calculating>(review->preparation)) {
      const auto subtitle = filled(QCoreApplication::translate("PopoverActivity", "%1 • Preparing"),
                                   selectionSummaryText(review->selection));
      const auto label = filled(QCoreApplication::translate("PopoverActivity", "%1, preparing files"), title);
      return PopoverActivityRow{id, Kind::preparing, title, subtitle, label, 0, 0, true};
    }
    if (review->displayedPreparedTransfer()) {
      const auto subtitle = filled(QCoreApplication::translate("PopoverActivity", "%1 • Ready to upload"),
                                   reviewSummaryText(*review));
      return PopoverActivityRow{id, Kind::ready, title, subtitle, title, 0, 0, true};
    }
    return std::nullopt;
  }
  if (const auto* upload = activeUpload(state.phase)) {
    const auto& progress = upload->progress;
    const auto percent = uploadPercent(progress.progress);
    const auto& title = progress.preparedTransfer->title;
    return PopoverActivityRow{id,
                              Kind::uploading,
                              title,
                              uploadDetailText(progress),
                              QCoreApplication::translate("PopoverActivity", "%1, uploading, %2 percent")
                                  .arg(QString::fromStdString(title), QString::number(percent))
                                  .toStdString(),
                              percent,
                              progress.progress,
                              progress.progress < 1.0};
  }
  return std::nullopt;
}

}  // namespace

std::vector<PopoverActivityRow> popoverActivityRows(const TransferFeatureState& state) {
  std::vector<PopoverActivityRow> rows;
  if (const auto active = state.activeTransferID()) {
    if (auto row = activeRow(state, *active)) rows.push_back(std::move(*row));
  }
  for (const auto& queued : state.queue) {
    const auto title = titleOf(queued.selection);
    rows.push_back({queued.id, Kind::queued, title,
                    filled(QCoreApplication::translate("PopoverActivity", "%1 • Queued"),
                           selectionSummaryText(queued.selection)),
                    filled(QCoreApplication::translate("PopoverActivity", "%1, queued"), title), 0, 0, true});
  }
  for (auto it = state.failures.rbegin(); it != state.failures.rend(); ++it) {
    const bool preparing = it->stage == TransferFailureStage::preparation;
    const auto message = ui::translatedCoreText(it->message);
    const auto title = QString::fromStdString(it->title);
    // The label carries the failure, or a screen reader would hear only the title of a red row.
    const auto subtitle =
        preparing ? QCoreApplication::translate("PopoverActivity", "Failed preparing • %1").arg(message)
                  : QCoreApplication::translate("PopoverActivity", "Failed uploading • %1").arg(message);
    const auto label =
        preparing
            ? QCoreApplication::translate("PopoverActivity", "%1, failed preparing, %2").arg(title, message)
            : QCoreApplication::translate("PopoverActivity", "%1, failed uploading, %2").arg(title, message);
    rows.push_back(
        {it->id, Kind::failed, it->title, subtitle.toStdString(), label.toStdString(), 0, 0, true});
  }
  return rows;
}

int PopoverActivityModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant PopoverActivityModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= count()) return {};
  const auto& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case ItemIDRole: return QString::fromStdString(row.id.toString());
    case KindRole: return kindName(row.kind);
    case TitleRole: return QString::fromStdString(row.title);
    case SubtitleRole: return QString::fromStdString(row.subtitle);
    case AccessibilityLabelRole: return QString::fromStdString(row.accessibilityLabel);
    case PercentRole: return row.percent;
    case ProgressRole: return row.progress;
    case ActionTextRole: return actionText(row.kind);
    case ActionEnabledRole: return row.actionEnabled;
    case IsRevealedRole: return revealed_ == row.id;
    default: return {};
  }
}

QHash<int, QByteArray> PopoverActivityModel::roleNames() const {
  return {{ItemIDRole, "itemID"},
          {KindRole, "kind"},
          {TitleRole, "title"},
          {SubtitleRole, "subtitle"},
          {AccessibilityLabelRole, "accessibilityLabel"},
          {PercentRole, "percent"},
          {ProgressRole, "progress"},
          {ActionTextRole, "actionText"},
          {ActionEnabledRole, "actionEnabled"},
          {IsRevealedRole, "isRevealed"}};
}

int PopoverActivityModel::indexOf(const TransferItemID& id) const {
  const auto found = std::find_if(rows_.begin(), rows_.end(), [&](const auto& row) { return row.id == id; });
  return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

const PopoverActivityRow* PopoverActivityModel::row(const TransferItemID& id) const {
  const auto index = indexOf(id);
  return index < 0 ? nullptr : &rows_[static_cast<std::size_t>(index)];
}

void PopoverActivityModel::setRows(std::vector<PopoverActivityRow> rows) {
  if (rows == rows_) return;
  const bool sameItems = rows.size() == rows_.size() &&
                         std::equal(rows.begin(), rows.end(), rows_.begin(),
                                    [](const auto& a, const auto& b) { return a.id == b.id && a.kind == b.kind; });
  if (sameItems) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i] == rows_[i]) continue;
      rows_[i] = std::move(rows[i]);
      const auto changed = index(static_cast<int>(i));
      emit dataChanged(changed, changed);
    }
    return;
  }
  const auto oldCount = count();
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
  if (oldCount != count()) emit countChanged();
}

void PopoverActivityModel::setRevealedTransferID(std::optional<TransferItemID> id) {
  if (revealed_ == id) return;
  const auto before = revealed_ ? indexOf(*revealed_) : -1;
  revealed_ = id;
  const auto after = revealed_ ? indexOf(*revealed_) : -1;
  for (const auto changed : {before, after}) {
    if (changed >= 0) emit dataChanged(index(changed), index(changed), {IsRevealedRole});
  }
}

}  // namespace tavrel
