#include "island/notch_layout_model.h"

#include <utility>
#include <variant>

namespace tavrel {

NotchLayoutModel::NotchLayoutModel(QObject* parent) : QObject(parent) {}

void NotchLayoutModel::setGeometry(std::optional<NotchGeometry> geometry) {
  if (geometry_ == geometry) return;
  geometry_ = std::move(geometry);
  emit geometryChanged();
}

void NotchLayoutModel::setTopClearance(double topClearance) {
  if (topClearance_ == topClearance) return;
  topClearance_ = topClearance;
  emit topClearanceChanged();
}

QSizeF NotchLayoutModel::islandSize(const TransferFeatureState& state, IslandPresentation presentation,
                                    bool canInitiateTransfer) const {
  if (!geometry_) return QSizeF(0, 0);
  const QSizeF compact = geometry_->compactSize;
  if (!canInitiateTransfer) return QSizeF(compact.width() + compactAuthenticationExtraWidth, compact.height());
  const bool expanded = presentation == IslandPresentation::expanded;
  const QSizeF large(expandedWidth, expandedHeight);
  return std::visit(
      [&](const auto& phase) -> QSizeF {
        using Phase = std::decay_t<decltype(phase)>;
        if constexpr (std::is_same_v<Phase, transfer_phase::Idle>) {
          return compact;  // an idle island has no page to expand into
        } else if constexpr (std::is_same_v<Phase, transfer_phase::Choosing> ||
                             std::is_same_v<Phase, transfer_phase::Reviewing>) {
          return expanded ? large : compact;
        } else {
          return expanded ? large : QSizeF(compact.width() + compactActivityExtraWidth, compact.height());
        }
      },
      state.phase);
}

}  // namespace tavrel
