#include <gtest/gtest.h>

#include "menubar/menu_bar_test_fixture.h"
#include "menubar/transfer_popover_view_model.h"

#include <QAction>
#include <QMenu>

namespace tavrel::testing {
namespace {

using namespace std::chrono_literals;
using Kind = PopoverActivityRow::Kind;

class TransferPopoverViewModelTest : public MenuBarStoresTest {
 public:
  TransferPopoverViewModelTest() {
    model = std::make_unique<TransferPopoverViewModel>(
        *store, *recent, *authentication, settings, drag, *queue,
        TransferPopoverViewModel::callbacks(recorded.actions(), [this] { recorded.calls.push_back("close"); }),
        [](const std::vector<std::string>& types, std::int64_t, const std::string&) {
          return types.empty() ? std::string("doc") : "icon:" + types.front();
        },
        [this] { return wallClock; });
  }
  ~TransferPopoverViewModelTest() override { model.reset(); }

  std::vector<Kind> rowKinds() const {
    std::vector<Kind> kinds;
    for (const auto& row : model->activityModel().rows()) kinds.push_back(row.kind);
    return kinds;
  }
  QString text(const TransferItemID& item) const { return QString::fromStdString(item.toString()); }
  QVariant recentRole(int row, int role) const { return model->recentModel().data(model->recentModel().index(row), role); }

  MenuBarDragPresentationModel drag;
  std::unique_ptr<TransferPopoverViewModel> model;
};

TEST_F(TransferPopoverViewModelTest, EachSignInStateHasItsPanelAndHeight) {
  EXPECT_EQ(model->accessStatus(), "restoring");
  EXPECT_EQ(model->content(), "status");
  EXPECT_EQ(model->contentHeight(), 148);
  EXPECT_FALSE(model->uploadFilesEnabled());

  signOut();
  EXPECT_EQ(model->accessStatus(), "signedOut");
  beginSignIn();
  EXPECT_EQ(model->accessStatus(), "authorizing");
}

TEST_F(TransferPopoverViewModelTest, AnUnreachableServiceShowsItsMessageAndRetries) {
  becomeUnavailable();
  EXPECT_EQ(model->accessStatus(), "unavailable");
  EXPECT_FALSE(model->unavailableMessage().isEmpty());
  model->retryConnection();
  EXPECT_EQ(model->accessStatus(), "restoring");
}

TEST_F(TransferPopoverViewModelTest, AnAccountThatMayNotSendSeesSendingUnavailable) {
  signIn(false);
  EXPECT_EQ(model->accessStatus(), "sendingUnavailable");
  EXPECT_FALSE(model->uploadFilesEnabled());
  model->uploadFiles();
  EXPECT_TRUE(picker->requests().empty());
}

TEST_F(TransferPopoverViewModelTest, AReadyAccountChoosesFilesUntilThePickerIsOpen) {
  signIn();
  EXPECT_EQ(model->accessStatus(), "ready");
  EXPECT_EQ(model->contentHeight(), 270);
  EXPECT_TRUE(model->focusesUploadButtonOnAppear());
  model->uploadFiles();
  EXPECT_TRUE(store->state().presentation.isFilePickerPresented);
  EXPECT_FALSE(model->uploadFilesEnabled());
  model->uploadFiles();
  EXPECT_EQ(picker->requests().size(), 1u);
}

TEST_F(TransferPopoverViewModelTest, RecentPlaceholdersShowOnlyWhileNothingIsListed) {
  signIn();
  recent->refresh(true);
  EXPECT_EQ(model->content(), "loadingRecent");
  EXPECT_EQ(model->contentHeight(), 270);
  recentAPI->answer(TransferAPIError::transportUnavailable());
  settle();
  EXPECT_EQ(model->content(), "recentError");
  model->retryRecentTransfers();
  EXPECT_EQ(recentAPI->requests().size(), 2u);
  recentAPI->answer(RecentTransfersOutcome{std::vector{recentTransfer("t1", "Photos")}});
  settle();
  EXPECT_EQ(model->content(), "transfers");
  EXPECT_TRUE(model->hasRecent());
  EXPECT_EQ(model->contentHeight(), 124);
}

TEST_F(TransferPopoverViewModelTest, ActivityRowsFollowTheTransferFromPreparationToUpload) {
  signIn();
  const auto id = startPreparing("a.txt");
  ASSERT_EQ(rowKinds(), std::vector{Kind::preparing});
  EXPECT_EQ(model->activityModel().rows()[0].subtitle, "1 file • Preparing");
  EXPECT_EQ(model->activityModel().rows()[0].accessibilityLabel, "a.txt, preparing files");
  EXPECT_EQ(model->contentHeight(), 132);

  preparer->succeed();
  settle();
  ASSERT_EQ(rowKinds(), std::vector{Kind::uploading});
  EXPECT_EQ(model->activityModel().rows()[0].id, id);
  engine->progress(0.996);
  settle();
  EXPECT_EQ(model->activityModel().rows()[0].percent, 99);
  EXPECT_TRUE(model->activityModel().rows()[0].actionEnabled);
  engine->progress(1.0);
  settle();
  EXPECT_EQ(model->activityModel().rows()[0].percent, 100);
  EXPECT_EQ(model->activityModel().rows()[0].accessibilityLabel, "a.txt, uploading, 100 percent");
  EXPECT_FALSE(model->activityModel().rows()[0].actionEnabled);  // too late to cancel
  model->cancelItem(text(id));
  EXPECT_TRUE(model->confirmation().isEmpty());
}

TEST_F(TransferPopoverViewModelTest, QueuedRowsFollowTheActiveOneAndFailuresComeNewestFirst) {
  signIn();
  const auto first = failUploading("first.txt");
  store->send(transfer_action::CancelTransfer{first});
  settle();
  const auto f2 = failUploading("second.txt");
  store->send(transfer_action::DismissCompletedTransfer{});
  settle();
  const auto active = startPreparing("third.txt");
  const auto queued = enqueue("fourth.txt");
  settle();
  const auto& rows = model->activityModel().rows();
  ASSERT_EQ(rowKinds(), (std::vector{Kind::preparing, Kind::queued, Kind::failed}));
  EXPECT_EQ(rows[0].id, active);
  EXPECT_EQ(rows[1].id, queued);
  EXPECT_EQ(rows[1].subtitle, "1 file • Queued");
  EXPECT_EQ(rows[2].id, f2);
  EXPECT_EQ(rows[2].subtitle, "Failed uploading • The network went away.");
  EXPECT_EQ(rows[2].accessibilityLabel, "second.txt, failed uploading, The network went away.");
  EXPECT_EQ(model->contentHeight(), 60 * 3 + 28 + 44);
}

// A failed upload waits in review and is also listed as a failure: one row, counted once.
TEST_F(TransferPopoverViewModelTest, AFailedReviewIsOneRowAndACompletedPhaseNone) {
  signIn();
  failUploading("a.txt");
  EXPECT_EQ(rowKinds(), std::vector{Kind::failed});
  EXPECT_EQ(model->contentHeight(), 132);

  store->send(transfer_action::RetryTransfer{itemIDs.back()});
  settle();
  preparer->succeed();
  settle();
  completeUpload();
  ASSERT_NE(completedTransfer(store->state().phase), nullptr);
  EXPECT_TRUE(rowKinds().empty());
  EXPECT_EQ(model->content(), "completed");
  EXPECT_EQ(model->completedTitle(), "a.txt");
  EXPECT_EQ(model->contentHeight(), 270);
}

TEST_F(TransferPopoverViewModelTest, RetryQueuesAFailedItemAgain) {
  signIn();
  const auto failed = failUploading("a.txt");
  model->retryItem(text(failed));
  settle();
  EXPECT_TRUE(store->state().failures.empty());
}

TEST_F(TransferPopoverViewModelTest, CancelActsAtOnceExceptForTheRunningUpload) {
  signIn();
  const auto uploading = startUploading("a.txt");
  const auto queued = enqueue("b.txt");
  model->cancelItem(text(queued));
  EXPECT_TRUE(store->state().queue.empty());

  model->cancelItem(text(uploading));
  EXPECT_EQ(model->confirmation(), "cancel");
  EXPECT_EQ(model->confirmationTitle(), "Cancel this upload?");
  EXPECT_EQ(model->confirmationDestructiveText(), "Cancel Upload");
  EXPECT_EQ(model->confirmationCancelText(), "Keep Uploading");
  model->dismissConfirmation();
  EXPECT_TRUE(model->confirmation().isEmpty());
  EXPECT_NE(activeUpload(store->state().phase), nullptr);

  model->cancelItem(text(uploading));
  model->confirm();
  settle();
  EXPECT_EQ(activeUpload(store->state().phase), nullptr);
  EXPECT_TRUE(model->confirmation().isEmpty());
}

TEST_F(TransferPopoverViewModelTest, ACancelConfirmationGoesWhenItsUploadEndsMeanwhile) {
  signIn();
  const auto uploading = startUploading("a.txt");
  model->cancelItem(text(uploading));
  completeUpload();
  EXPECT_TRUE(model->confirmation().isEmpty());
}

TEST_F(TransferPopoverViewModelTest, ReturnStartsAReadyTransferAndOtherwiseChoosesFiles) {
  signIn();
  reviewReady("a.txt");
  ASSERT_EQ(rowKinds(), std::vector{Kind::ready});
  EXPECT_EQ(model->activityModel().rows()[0].subtitle, "1 file • Ready to upload");
  EXPECT_TRUE(model->returnStartsTransfer());
  model->pressReturn();
  EXPECT_NE(activeUpload(store->state().phase), nullptr);
  EXPECT_TRUE(picker->requests().empty());
  EXPECT_FALSE(model->returnStartsTransfer());
  model->pressReturn();
  EXPECT_EQ(picker->requests().size(), 1u);
}

TEST_F(TransferPopoverViewModelTest, EscapeClosesThePopoverOrAnswersAnOpenConfirmation) {
  signIn();
  enqueue("a.txt");
  model->pressQuitShortcut();
  EXPECT_EQ(model->confirmation(), "quit");
  model->pressEscape();
  EXPECT_TRUE(model->confirmation().isEmpty());
  EXPECT_TRUE(recorded.calls.empty());
  model->pressEscape();
  EXPECT_EQ(recorded.calls, std::vector<std::string>{"close"});
}

TEST_F(TransferPopoverViewModelTest, SignOutAndQuitAskOnlyWhileWorkWouldStop) {
  signIn();
  model->perform(MenuBarMenuCommand::signOut);
  EXPECT_EQ(recorded.calls, std::vector<std::string>{"signOut"});
  recorded.calls.clear();

  startPreparing("a.txt");
  model->perform(MenuBarMenuCommand::quit);
  EXPECT_EQ(model->confirmation(), "quit");
  EXPECT_EQ(model->confirmationTitle(), "Quit and stop all transfers?");
  EXPECT_EQ(model->confirmationMessage(), "Active and queued transfers will be cleared.");
  EXPECT_EQ(model->confirmationCancelText(), "Keep Transfers Running");
  model->dismissConfirmation();
  EXPECT_TRUE(recorded.calls.empty());
  model->perform(MenuBarMenuCommand::signOut);
  EXPECT_EQ(model->confirmationDestructiveText(), "Sign Out");
  model->confirm();
  model->confirm();  // nothing left to confirm
  EXPECT_EQ(recorded.calls, std::vector<std::string>{"signOut"});
}

TEST_F(TransferPopoverViewModelTest, OnlyQueuedPreparingUploadingOrResumableWorkCountsAsWorkToStop) {
  signIn();
  EXPECT_FALSE(hasTransfersToStop(store->state()));
  reviewReady("a.txt");
  EXPECT_FALSE(hasTransfersToStop(store->state()));
  store->send(transfer_action::StartTransfer{});
  EXPECT_TRUE(hasTransfersToStop(store->state()));
  engine->fail("broken");
  settle();
  EXPECT_TRUE(hasTransfersToStop(store->state()));  // a failed upload that a retry resumes
}

TEST_F(TransferPopoverViewModelTest, MenuCommandsReachTheirStoresAndCallbacks) {
  signOut();
  model->perform(MenuBarMenuCommand::signIn);
  ASSERT_TRUE(queue->runUntil([&] { return model->accessStatus() == "authorizing"; }));
  model->perform(MenuBarMenuCommand::cancelSignIn);
  EXPECT_EQ(model->accessStatus(), "signedOut");

  for (auto command : {MenuBarMenuCommand::toggleQuickDrop, MenuBarMenuCommand::viewTransfers,
                       MenuBarMenuCommand::viewTransferSettings, MenuBarMenuCommand::manageAccount}) {
    model->perform(command);
  }
  EXPECT_EQ(recorded.calls,
            (std::vector<std::string>{"toggleQuickDrop", "viewTransfers", "viewTransferSettings", "manageAccount"}));
  model->performMenuCommand(99);  // not a command
  model->performMenuCommand(-1);
  EXPECT_EQ(recorded.calls.size(), 4u);
}

TEST_F(TransferPopoverViewModelTest, OpenAtLoginTogglesFromWhatTheDesktopReports) {
  signIn();
  settings.set(LaunchAtLoginStatus::requiresApproval);
  model->perform(MenuBarMenuCommand::toggleLaunchAtLogin);
  settings.set(LaunchAtLoginStatus::unavailable);
  model->perform(MenuBarMenuCommand::toggleLaunchAtLogin);
  EXPECT_EQ(settings.requests, (std::vector<bool>{false, true}));
  model->perform(MenuBarMenuCommand::openLoginItemsSettings);
  EXPECT_EQ(settings.settingsOpened, 1);
}

TEST_F(TransferPopoverViewModelTest, TheMenuFollowsTheSettingsAndEscapesAmpersands) {
  authAPI->setUser("Tom & Jerry", "tj@example.com");
  signIn();
  auto entries = model->menuEntries();
  ASSERT_FALSE(entries.isEmpty());
  EXPECT_EQ(entries[0].toMap()["title"].toString(), "Tom & Jerry");
  EXPECT_EQ(entries[0].toMap()["menuTitle"].toString(), "Tom && Jerry");
  const auto before = model->menu().size();
  settings.set(LaunchAtLoginStatus::disabled, "failed");
  EXPECT_EQ(model->menu().size(), before + 2);
}

TEST_F(TransferPopoverViewModelTest, RecentRowsOpenTheirPageAndCopyTheirLinkBySlug) {
  signIn();
  auto noSlug = recentTransfer("t3", "No link", 2, "");
  noSlug.mimeType = "image/png";
  loadRecent({recentTransfer("t1", "Photos", 1, "s1"), recentTransfer("t2", "Docs", 1'234, "s2"), noSlug});
  using Role = PopoverRecentModel::Role;
  EXPECT_EQ(recentRole(0, Role::SubtitleRole).toString(), "1 file • 1.2 MB • 2 hr. ago");
  EXPECT_EQ(recentRole(0, Role::AccessibilityLabelRole).toString(), "Photos, 1 file • 1.2 MB • 2 hr. ago");
  EXPECT_EQ(recentRole(0, Role::HelpTextRole).toString(), "View Photos");
  EXPECT_EQ(recentRole(0, Role::SymbolNameRole).toString(), "doc");
  EXPECT_EQ(recentRole(2, Role::SymbolNameRole).toString(), "icon:image/png");
  EXPECT_FALSE(recentRole(2, Role::CanCopyRole).toBool());

  model->viewRecentTransfer("t2");
  model->copyRecentLink("t1");
  model->copyRecentLink("t3");  // no link to copy
  EXPECT_EQ(recorded.calls, (std::vector<std::string>{"viewRecent:t2", "copy:s1"}));
}

TEST_F(TransferPopoverViewModelTest, ACopiedLinkShowsForTwoSecondsFromTheLastCopy) {
  signIn();
  loadRecent({recentTransfer("a", "A", 1, "sa"), recentTransfer("b", "B", 1, "sb")});
  using Role = PopoverRecentModel::Role;
  model->appeared();
  model->copyRecentLink("a");
  EXPECT_EQ(recentRole(0, Role::CopyTextRole).toString(), "Link copied");
  EXPECT_FALSE(recentRole(0, Role::CanCopyRole).toBool());
  model->copyRecentLink("a");  // disabled while copied
  EXPECT_EQ(recorded.calls.size(), 1u);

  queue->advance(1500ms);
  model->copyRecentLink("b");
  EXPECT_FALSE(recentRole(0, Role::IsCopiedRole).toBool());
  EXPECT_TRUE(recentRole(1, Role::IsCopiedRole).toBool());
  queue->advance(1900ms);
  EXPECT_TRUE(recentRole(1, Role::IsCopiedRole).toBool());
  queue->advance(100ms);
  EXPECT_FALSE(recentRole(1, Role::IsCopiedRole).toBool());
  EXPECT_EQ(recentRole(1, Role::CopyTextRole).toString(), "Copy link");
}

// Closing the popover ends the feedback; the row must not stay disabled until another copy.
TEST_F(TransferPopoverViewModelTest, ClosingThePopoverClearsTheCopiedMark) {
  signIn();
  loadRecent({recentTransfer("a", "A", 1, "sa")});
  model->appeared();
  model->copyRecentLink("a");
  model->disappeared();
  EXPECT_FALSE(model->copiedRecentTransferID());
  EXPECT_TRUE(model->recentModel().data(model->recentModel().index(0), PopoverRecentModel::CanCopyRole).toBool());
  model->appeared();
  model->copyRecentLink("a");
  EXPECT_EQ(recorded.calls, (std::vector<std::string>{"copy:sa", "copy:sa"}));
}

TEST_F(TransferPopoverViewModelTest, AgesRefreshEveryMinuteOnlyWhileThePopoverShows) {
  signIn();
  loadRecent({recentTransfer("a", "A")});
  using Role = PopoverRecentModel::Role;
  model->appeared();
  wallClock += 90min;
  queue->advance(59s);
  EXPECT_EQ(recentRole(0, Role::SubtitleRole).toString(), "1 file • 1.2 MB • 2 hr. ago");
  queue->advance(1s);
  EXPECT_EQ(recentRole(0, Role::SubtitleRole).toString(), "1 file • 1.2 MB • 3 hr. ago");
  model->disappeared();
  wallClock += 2h;
  queue->advance(120s);
  EXPECT_EQ(recentRole(0, Role::SubtitleRole).toString(), "1 file • 1.2 MB • 3 hr. ago");  // nothing wakes while closed
  model->appeared();
  EXPECT_EQ(recentRole(0, Role::SubtitleRole).toString(), "1 file • 1.2 MB • 5 hr. ago");
}

TEST_F(TransferPopoverViewModelTest, TheRevealedRowIsKnownWhetherTheRowOrTheRevealComesFirst) {
  signIn();
  const auto failed = failUploading("a.txt");
  store->send(transfer_action::DismissCompletedTransfer{});
  drag.setRevealedTransferID(failed);
  EXPECT_EQ(model->revealedRow(), 0);
  EXPECT_TRUE(model->activityModel().data(model->activityModel().index(0), PopoverActivityModel::IsRevealedRole).toBool());
  startPreparing("b.txt");
  EXPECT_EQ(model->revealedRow(), 1);
  drag.setRevealedTransferID(std::nullopt);
  EXPECT_EQ(model->revealedRow(), -1);
}

TEST_F(TransferPopoverViewModelTest, TheEmptySelectionIsAnUntitledTransfer) {
  TransferFeatureState state;
  QueuedTransfer queued;
  queued.id = TransferItemID::generate();
  state.queue.push_back(queued);
  const auto rows = popoverActivityRows(state);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].title, "Untitled Transfer");
}

}  // namespace
}  // namespace tavrel::testing

namespace tavrel::testing {
namespace {

TEST_F(TransferPopoverViewModelTest, TheMenuWindowShowsEachEntryAndPerformsItsCommand) {
  authAPI->setUser("Tom & Jerry", "tj@example.com");
  signIn();
  settings.set(LaunchAtLoginStatus::requiresApproval);
  std::unique_ptr<QMenu> menu(model->buildMenu());
  QStringList texts;
  for (auto* action : menu->actions()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
  EXPECT_EQ(texts, (QStringList{"Tom && Jerry", "tj@example.com", "-", "View Transfers", "-", "Transfer Settings",
                                "Manage Account", "-", "Open at Login", "Approve in System Settings…", "-", "Sign Out",
                                "-", "Quit Tavrel"}));
  const auto actions = menu->actions();
  EXPECT_FALSE(actions[0]->isEnabled());  // the account row only informs
  EXPECT_TRUE(actions[8]->isCheckable());
  EXPECT_TRUE(actions[8]->isChecked());
  EXPECT_EQ(actions.back()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));

  actions[8]->trigger();  // the command decides: on while awaiting approval, so it turns off
  actions[3]->trigger();
  EXPECT_EQ(settings.requests, std::vector<bool>{false});
  EXPECT_EQ(recorded.calls, std::vector<std::string>{"viewTransfers"});
}

}  // namespace
}  // namespace tavrel::testing
