#pragma once

#include <QObject>
#include <QSizeF>
#include <optional>

#include "island/island_presentation.h"
#include "island/notch_geometry.h"
#include "transfer/transfer_feature_state.h"

namespace tavrel {

// The island's geometry and its size rule. The program keeps one with no geometry, so it has no
// island; tests and previews give it a geometry of their own.
//
// IMPORTANT: Thread-safety. Main thread only.
class NotchLayoutModel final : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool hasNotch READ hasNotch NOTIFY geometryChanged)
  Q_PROPERTY(double topClearance READ topClearance WRITE setTopClearance NOTIFY topClearanceChanged)

 public:
  static constexpr double expandedWidth = 550;
  static constexpr double expandedHeight = 250;
  // Compact strips that carry a progress or completion line are this much wider.
  static constexpr double compactActivityExtraWidth = 140;
  // The strip that states the sign-in situation is this much wider.
  static constexpr double compactAuthenticationExtraWidth = 100;

  // No geometry and a top clearance of 0.
  explicit NotchLayoutModel(QObject* parent = nullptr);

  const std::optional<NotchGeometry>& geometry() const { return geometry_; }
  void setGeometry(std::optional<NotchGeometry> geometry);
  double topClearance() const { return topClearance_; }
  void setTopClearance(double topClearance);
  bool hasNotch() const { return geometry_ && geometry_->hasNotch; }

  // The island's size in points; 0 by 0 while there is no geometry (no island to hit or drop on).
  QSizeF islandSize(const TransferFeatureState& state, IslandPresentation presentation,
                    bool canInitiateTransfer) const;

 signals:
  void geometryChanged();
  void topClearanceChanged();

 private:
  std::optional<NotchGeometry> geometry_;
  double topClearance_ = 0;
};

}  // namespace tavrel
