#include "island/notch_layout_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace tavrel {
namespace {

TransferFeatureState stateIn(TransferPhase phase) {
  TransferFeatureState state;
  state.phase = std::move(phase);
  return state;
}

std::vector<TransferPhase> everyPhase() {
  return {transfer_phase::Reviewing{}, transfer_phase::Uploading{}, transfer_phase::Completed{},
          transfer_phase::Idle{}, transfer_phase::Choosing{}};
}

NotchGeometry geometry(QSizeF compactSize, bool hasNotch = true) {
  return NotchGeometry{QRectF(0, 0, 1512, 982), hasNotch, 185, compactSize, 0};
}

TEST(NotchLayoutModelTest, APlainModelHasNoIslandAtAll) {
  NotchLayoutModel layout;
  EXPECT_FALSE(layout.geometry());
  EXPECT_EQ(layout.topClearance(), 0);
  EXPECT_FALSE(layout.hasNotch());
  for (const auto& phase : everyPhase()) {
    for (const auto presentation : {IslandPresentation::compact, IslandPresentation::expanded}) {
      for (const bool canSend : {false, true}) {
        EXPECT_EQ(layout.islandSize(stateIn(phase), presentation, canSend), QSizeF(0, 0));
      }
    }
  }
}

TEST(NotchLayoutModelTest, HasNotchFollowsTheGeometryAndChangesAreAnnounced) {
  NotchLayoutModel layout;
  QSignalSpy changes(&layout, &NotchLayoutModel::geometryChanged);
  layout.setGeometry(geometry(QSizeF(185, 32), false));
  EXPECT_FALSE(layout.hasNotch());
  layout.setGeometry(geometry(QSizeF(185, 32), true));
  EXPECT_TRUE(layout.hasNotch());
  layout.setGeometry(geometry(QSizeF(185, 32), true));  // the same geometry again
  EXPECT_EQ(changes.count(), 2);
  layout.setGeometry(std::nullopt);
  EXPECT_FALSE(layout.hasNotch());
}

TEST(NotchLayoutModelTest, SizesFollowThePhaseAndThePresentation) {
  NotchLayoutModel layout;
  layout.setGeometry(geometry(QSizeF(185, 32)));
  const auto size = [&](TransferPhase phase, IslandPresentation presentation) {
    return layout.islandSize(stateIn(std::move(phase)), presentation, true);
  };
  using P = IslandPresentation;
  // Idle has no page to expand into.
  EXPECT_EQ(size(transfer_phase::Idle{}, P::compact), QSizeF(185, 32));
  EXPECT_EQ(size(transfer_phase::Idle{}, P::expanded), QSizeF(185, 32));
  EXPECT_EQ(size(transfer_phase::Choosing{}, P::compact), QSizeF(185, 32));
  EXPECT_EQ(size(transfer_phase::Choosing{}, P::expanded), QSizeF(550, 250));
  EXPECT_EQ(size(transfer_phase::Reviewing{}, P::compact), QSizeF(185, 32));
  EXPECT_EQ(size(transfer_phase::Reviewing{}, P::expanded), QSizeF(550, 250));
  // Progress and completion lines need 140 more.
  EXPECT_EQ(size(transfer_phase::Uploading{}, P::compact), QSizeF(325, 32));
  EXPECT_EQ(size(transfer_phase::Uploading{}, P::expanded), QSizeF(550, 250));
  EXPECT_EQ(size(transfer_phase::Completed{}, P::compact), QSizeF(325, 32));
  EXPECT_EQ(size(transfer_phase::Completed{}, P::expanded), QSizeF(550, 250));
}

TEST(NotchLayoutModelTest, AnAccountThatMayNotSendGetsTheSignInStripWhateverThePhase) {
  NotchLayoutModel layout;
  layout.setGeometry(geometry(QSizeF(185, 32)));
  for (const auto& phase : everyPhase()) {
    for (const auto presentation : {IslandPresentation::compact, IslandPresentation::expanded}) {
      EXPECT_EQ(layout.islandSize(stateIn(phase), presentation, false), QSizeF(285, 32));
    }
  }
}

TEST(NotchLayoutModelTest, AnEmptyCompactSizeLeavesOnlyTheExpandedIsland) {
  NotchLayoutModel layout;
  layout.setGeometry(geometry(QSizeF(0, 32)));
  EXPECT_EQ(layout.islandSize(stateIn(transfer_phase::Choosing{}), IslandPresentation::compact, true), QSizeF(0, 32));
  EXPECT_EQ(layout.islandSize(stateIn(transfer_phase::Choosing{}), IslandPresentation::expanded, true),
            QSizeF(550, 250));
  layout.setGeometry(geometry(QSizeF(185, 0)));
  EXPECT_EQ(layout.islandSize(stateIn(transfer_phase::Uploading{}), IslandPresentation::compact, true), QSizeF(325, 0));
}

}  // namespace
}  // namespace tavrel
