#include "island/transfer_island_view_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "island/island_scene.h"

namespace tavrel {
namespace {

using testing::island::IslandScene;

TEST(IslandContentTest, TheRootPicksItsPageForEveryPhaseAndPresentation) {
  AuthenticatedAccount account;
  account.bootstrap.permissions.canInitiateTransfer = true;
  const AuthenticationState allowed = authentication_state::Authenticated{account};
  using P = IslandPresentation;
  using C = IslandContent;
  const auto content = [&](TransferPhase phase, P presentation) { return islandContent(phase, allowed, presentation); };
  EXPECT_EQ(content(transfer_phase::Idle{}, P::compact), C::compactIdle);
  EXPECT_EQ(content(transfer_phase::Idle{}, P::expanded), C::compactIdle);
  EXPECT_EQ(content(transfer_phase::Choosing{}, P::compact), C::compactIdle);
  EXPECT_EQ(content(transfer_phase::Choosing{}, P::expanded), C::chooser);
  EXPECT_EQ(content(transfer_phase::Reviewing{}, P::compact), C::compactReview);
  EXPECT_EQ(content(transfer_phase::Reviewing{}, P::expanded), C::review);
  EXPECT_EQ(content(transfer_phase::Uploading{}, P::compact), C::compactUpload);
  EXPECT_EQ(content(transfer_phase::Uploading{}, P::expanded), C::progress);
  EXPECT_EQ(content(transfer_phase::Completed{}, P::compact), C::compactCompletion);
  EXPECT_EQ(content(transfer_phase::Completed{}, P::expanded), C::completion);

  // Without permission to send, the sign-in strip shows whatever the phase.
  account.bootstrap.permissions.canInitiateTransfer = false;
  for (const AuthenticationState& state :
       std::vector<AuthenticationState>{authentication_state::Authenticated{account}, authentication_state::SignedOut{},
                                        authentication_state::Restoring{}, authentication_state::Authorizing{},
                                        authentication_state::TemporarilyUnavailable{"x"}}) {
    EXPECT_EQ(islandContent(transfer_phase::Uploading{}, state, P::expanded), C::authentication);
  }
}

class TransferIslandViewModelTest : public ::testing::Test {
 protected:
  IslandScene scene;
  TransferIslandViewModel& model = *scene.viewModel;
};

TEST_F(TransferIslandViewModelTest, AnAccountThatMayNotSendNeverExpandsOrCastsAShadow) {
  scene.signIn(false);
  scene.uploading({"a.txt"}, 0.5);  // dropped: the account may not send
  scene.setExpanded(true);
  EXPECT_EQ(model.content(), "authentication");
  EXPECT_FALSE(model.isExpanded());
  EXPECT_EQ(model.islandSize(), QSizeF(285, 32));
  EXPECT_EQ(model.bottomRadius(), 12);
  EXPECT_EQ(model.authentication().value("text").toString(), "Sending Unavailable");
}

TEST_F(TransferIslandViewModelTest, AnExpandedIdleIslandKeepsItsCompactPageButTakesTheExpandedCorners) {
  scene.signIn();
  scene.setExpanded(true);
  EXPECT_EQ(model.content(), "compactIdle");
  EXPECT_EQ(model.islandSize(), QSizeF(185, 32));
  EXPECT_TRUE(model.isExpanded());
  EXPECT_EQ(model.topFlareRadius(), 22);
  EXPECT_EQ(model.bottomRadius(), 24);
  EXPECT_TRUE(model.attachedToTop());
  scene.layout.setGeometry(testing::island::sampleGeometry(false));
  EXPECT_FALSE(model.attachedToTop());
}

TEST_F(TransferIslandViewModelTest, ClosingTheReviewCancelsTheSelectionWhileOtherPagesOnlyCollapse) {
  scene.signIn();
  scene.openChooser();
  scene.setExpanded(true);
  EXPECT_EQ(model.closeLabel(), "Close chooser");
  model.close();
  EXPECT_EQ(scene.collapseCount, 1);
  EXPECT_EQ(scene.phase(), "choosing");

  scene.reviewReady({"a.txt"});
  EXPECT_EQ(model.content(), "review");
  EXPECT_EQ(model.closeLabel(), "Cancel selection");
  model.close();
  EXPECT_EQ(scene.collapseCount, 1);
  EXPECT_NE(scene.phase(), "reviewing");
}

TEST_F(TransferIslandViewModelTest, EveryChangeOfStateIsAnnounced) {
  QSignalSpy changes(&model, &TransferIslandViewModel::changed);
  scene.signIn();
  const auto afterSignIn = changes.count();
  EXPECT_GT(afterSignIn, 0);
  scene.setDropTargeted(true);
  EXPECT_TRUE(model.isDropTargeted());
  scene.setExpanded(true);
  scene.layout.setGeometry(std::nullopt);
  EXPECT_GE(changes.count(), afterSignIn + 3);
  EXPECT_EQ(model.islandSize(), QSizeF(0, 0));
}

TEST_F(TransferIslandViewModelTest, TheProgressPageShowsTheUploadFigures) {
  scene.signIn();
  scene.uploading({"a.txt", "b.txt"}, 0.5, 1, 1);
  scene.setExpanded(true);
  ASSERT_EQ(model.content(), "progress");
  const auto upload = model.upload();
  EXPECT_EQ(upload.value("percentText").toString(), "50%");
  EXPECT_EQ(upload.value("fileCountText").toString(), "2 of 2");
  EXPECT_EQ(upload.value("currentFileName").toString(), "b.txt");
  EXPECT_EQ(upload.value("currentFileAccessibilityLabel").toString(), "Currently uploading b.txt, 2 of 2");
  EXPECT_EQ(upload.value("speedText").toString(), "1 byte/s");
  EXPECT_TRUE(upload.value("showsAbort").toBool());
  EXPECT_EQ(model.closeLabel(), "Collapse upload");

  model.abortUpload();
  scene.settle();
  EXPECT_EQ(scene.phase(), "reviewing");  // the selection comes back for review
}

TEST_F(TransferIslandViewModelTest, TheCompletionPageCopiesOnceUntilTheFeedbackExpires) {
  scene.signIn();
  scene.completeUpload({"a.txt"}, 1, false);
  scene.setExpanded(true);
  ASSERT_EQ(model.content(), "completion");
  EXPECT_EQ(model.completion().value("expiresText").toString(), "1 day");
  EXPECT_EQ(model.completion().value("previewText").toString(), "Off");
  EXPECT_EQ(model.completion().value("copyText").toString(), "Copy Link");
  model.copyLink();
  EXPECT_EQ(model.completion().value("copyText").toString(), " Copied ");
  EXPECT_FALSE(scene.clipboard().isEmpty());
  scene.expireCopyFeedback();
  EXPECT_EQ(model.completion().value("copyText").toString(), "Copy Link");
  model.startNewTransfer();
  EXPECT_EQ(scene.phase(), "choosing");
}

TEST_F(TransferIslandViewModelTest, AReviewThatHoldsAFailedUploadOffersRetry) {
  scene.signIn();
  scene.reviewFailedUpload("a.txt");
  scene.setExpanded(true);
  ASSERT_EQ(model.content(), "review");
  const auto review = model.review();
  EXPECT_EQ(review.value("startTitle").toString(), "Retry Transfer");
  EXPECT_EQ(review.value("clearTitle").toString(), "Cancel Transfer");
  EXPECT_EQ(review.value("problemMessage").toString(), "The network went away.");
  EXPECT_TRUE(review.value("startEnabled").toBool());
}

}  // namespace
}  // namespace tavrel
