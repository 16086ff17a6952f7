#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWindow>

#include "controls/motion.h"
#include "menubar/live_menu_bar_surfaces.h"
#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_test_fixture.h"

namespace tavrel::testing {
namespace {

using namespace std::chrono_literals;
namespace indicator = menu_bar_indicator;

struct SurfaceLog {
  bool trayAvailable = true;
  QColor iconColor = Qt::white;
  int icons = 0;
  QImage lastIcon;
  QString toolTip, help, value;
  bool removed = false;
  int removals = 0;
  bool shown = false;
  PopoverAnchor shownAt;
  std::optional<QRect> iconGeometry = QRect(1000, 0, 24, 24);  // absent: a tray that hides it
  std::optional<QPoint> pointer = QPoint(640, 400);           // absent: a Wayland session
  int shows = 0, activations = 0, closes = 0;
  std::vector<QSize> sizes{QSize(320, 100)};
};

class FakeStatusItem final : public MenuBarStatusItem {
 public:
  explicit FakeStatusItem(SurfaceLog& log) : log_(log) {}
  bool isAvailable() const override { return log_.trayAvailable; }
  QColor iconColor() const override { return log_.iconColor; }
  void setIcon(const QIcon& icon) override {
    ++log_.icons;
    log_.lastIcon = icon.pixmap(QSize(24, 24)).toImage();
  }
  void setTexts(const QString& toolTip, const QString& help, const QString& value) override {
    log_.toolTip = toolTip;
    log_.help = help;
    log_.value = value;
  }
  std::optional<QRect> geometry() const override { return log_.iconGeometry; }
  std::optional<QPoint> pointerPosition() const override { return log_.pointer; }
  void remove() override {
    log_.removed = true;
    ++log_.removals;
  }

 private:
  SurfaceLog& log_;
};

class FakePopoverWindow final : public MenuBarPopoverWindow {
 public:
  explicit FakePopoverWindow(SurfaceLog& log) : log_(log) {}
  bool isShown() const override { return log_.shown; }
  void show(const PopoverAnchor& anchor, bool activating) override {
    log_.shown = true;
    log_.shownAt = anchor;
    ++log_.shows;
    if (activating) ++log_.activations;
  }
  void activate() override { ++log_.activations; }
  void close() override {
    log_.shown = false;
    ++log_.closes;
    if (onClosed) onClosed();
  }
  QSize contentSize() const override { return log_.sizes.back(); }
  void setContentSize(QSize size) override { log_.sizes.push_back(size); }
  bool contains(QPoint position) const override { return QRect(900, 30, 320, 400).contains(position); }
  QWindow* window() override { return nullptr; }

 private:
  SurfaceLog& log_;
};

class MenuBarControllerTest : public MenuBarStoresTest {
 public:
  MenuBarControllerTest() { Motion::shared()->setReduceMotion(false); }
  ~MenuBarControllerTest() override {
    controller.reset();
    Motion::shared()->setReduceMotion(false);
  }

  void build() {
    MenuBarController::Surfaces surfaces{std::make_unique<FakeStatusItem>(log),
                                         [this](TransferPopoverViewModel&, PopoverDropTarget&) {
                                           return std::make_unique<FakePopoverWindow>(log);
                                         },
                                         {}, [this] { return wallClock; }};
    controller = std::make_unique<MenuBarController>(*store, *recent, *authentication, settings, recorded.actions(),
                                                     *queue, std::move(surfaces));
    settle();
  }
  QSize size() const { return log.sizes.back(); }

  SurfaceLog log;
  std::unique_ptr<MenuBarController> controller;
};

TEST_F(MenuBarControllerTest, TheTrayTextsFollowTheSignInState) {
  build();
  EXPECT_EQ(log.toolTip, "Tavrel — Connecting");
  signOut();
  EXPECT_EQ(log.value, "Sign in required");
  EXPECT_EQ(log.help, "Open Tavrel. Sign in required.");
  beginSignIn();
  EXPECT_EQ(log.value, "Signing in");
}

TEST_F(MenuBarControllerTest, TheTrayTextsOfAnUnreachableServiceAndOfAnAccountThatMayNotSend) {
  build();
  becomeUnavailable();
  EXPECT_EQ(log.value, "Can’t connect to Tavrel");
  authAPI->setRefreshFailure(std::nullopt);
  authAPI->setCanInitiateTransfer(false);
  authentication->retry();
  ASSERT_TRUE(queue->runUntil([&] { return authentication->state().index() == 0; }));
  EXPECT_EQ(log.value, "Sending unavailable");
}

TEST_F(MenuBarControllerTest, StatusPhrasesCountFailuresAndQueuedTransfers) {
  TransferFeatureState state;
  state.failures.resize(1);
  state.queue.resize(2);
  const AuthenticationState signedIn = authentication_state::Authenticated{};
  EXPECT_EQ(menuBarStatusDescription(signedIn, indicator::uploading(42), state), "Uploading, 42 percent, 1 failed, 2 queued");
  EXPECT_EQ(menuBarStatusDescription(signedIn, indicator::Failed{}, state), "Transfer failed, 2 queued");
  state = {};
  EXPECT_EQ(menuBarStatusDescription(signedIn, indicator::Preparing{}, state), "Preparing files");
  EXPECT_EQ(menuBarStatusDescription(signedIn, indicator::Ready{}, state), "Ready to upload");
  EXPECT_EQ(menuBarStatusDescription(signedIn, indicator::Completed{}, state), "Transfer complete");
}

TEST_F(MenuBarControllerTest, AClickTogglesThePopoverBelowTheIcon) {
  build();
  signIn();
  controller->togglePopover();
  EXPECT_TRUE(controller->isPopoverShown());
  EXPECT_EQ(log.shownAt, PopoverAnchor(QRect(1000, 0, 24, 24)));
  EXPECT_EQ(recorded.calls, std::vector<std::string>{"willShow"});
  EXPECT_EQ(recentAPI->requests().size(), 1u);  // the recent list refreshes as it opens
  settle();
  EXPECT_EQ(log.activations, 2);  // shown activating, then made key on the next turn
  EXPECT_TRUE(controller->isOutsideClickMonitorArmed());
  controller->togglePopover();
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_FALSE(controller->isOutsideClickMonitorArmed());
}

TEST_F(MenuBarControllerTest, WhereTheTrayHidesTheIconsPlaceThePopoverHangsFromTheLastClickOnIt) {
  log.iconGeometry = std::nullopt;
  build();
  signIn();
  controller->showPopover(true);  // the hot key before any click: by the tray's panel, not the pointer
  EXPECT_EQ(log.shownAt, PopoverAnchor(popover_anchor::TrayCorner{}));
  controller->closePopover();
  log.pointer = QPoint(1100, 10);
  controller->statusItem()->onActivated();
  EXPECT_EQ(log.shownAt, PopoverAnchor(QRect(1100, 10, 1, 1)));
  controller->closePopover();
  log.pointer = QPoint(300, 500);
  controller->showPopover(true);  // the hot key, the pointer elsewhere: still beside the icon
  EXPECT_EQ(log.shownAt, PopoverAnchor(QRect(1100, 10, 1, 1)));
  controller->closePopover();
  controller->statusItem()->onChanged();  // a tray host came again, maybe elsewhere
  controller->showPopover(true);
  EXPECT_EQ(log.shownAt, PopoverAnchor(popover_anchor::TrayCorner{}));
  controller->closePopover();
  log.pointer = std::nullopt;  // a click whose place cannot be read (XWayland)
  controller->statusItem()->onActivated();
  EXPECT_EQ(log.shownAt, PopoverAnchor(popover_anchor::TrayCorner{}));
}

TEST_F(MenuBarControllerTest, APopoverOpenedWhileConnectingListsTheRecentTransfersOnceSignedIn) {
  build();
  controller->togglePopover();  // still restoring the session
  ASSERT_TRUE(controller->isPopoverShown());
  EXPECT_TRUE(recentAPI->requests().empty());
  signIn();
  EXPECT_EQ(recentAPI->requests().size(), 1u);
}

TEST_F(MenuBarControllerTest, SigningInWithThePopoverClosedLoadsNothing) {
  build();
  signIn();
  EXPECT_TRUE(recentAPI->requests().empty());
}

TEST_F(MenuBarControllerTest, WithoutATrayThePopoverOpensAsAnOrdinaryWindowAndTheTrayIsLeftAlone) {
  log.trayAvailable = false;
  build();
  EXPECT_EQ(log.icons, 0);
  EXPECT_TRUE(log.toolTip.isEmpty());
  controller->showPopover(true);
  EXPECT_TRUE(controller->isPopoverShown());
  EXPECT_EQ(log.shownAt, PopoverAnchor(popover_anchor::OrdinaryWindow{}));
}

// The darkest opaque pixel's lightness and the lightest one's: the icon is drawn in one colour.
std::pair<int, int> opaqueLightness(const QImage& image) {
  int darkest = 255, lightest = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.alpha() < 255) continue;
      darkest = std::min(darkest, pixel.lightness());
      lightest = std::max(lightest, pixel.lightness());
    }
  }
  return {darkest, lightest};
}

TEST_F(MenuBarControllerTest, ATrayThatComesLaterGetsTheIconAndItsTexts) {
  log.trayAvailable = false;
  build();
  signIn();
  log.trayAvailable = true;
  controller->statusItem()->onChanged();
  EXPECT_EQ(log.icons, 0);  // on a later turn, not inside the tray's own notice
  settle();
  EXPECT_EQ(log.icons, 1);
  EXPECT_EQ(log.value, "Ready");
  // The panel restarts: the same again.
  controller->statusItem()->onChanged();
  settle();
  EXPECT_EQ(log.icons, 2);
  controller->invalidate();
  EXPECT_FALSE(controller->statusItem()->onChanged);
}

TEST_F(MenuBarControllerTest, TheIconIsDrawnAgainInTheColourThatStandsOutOnThePanel) {
  build();
  ASSERT_FALSE(log.lastIcon.isNull());
  EXPECT_EQ(opaqueLightness(log.lastIcon), std::pair(255, 255));
  log.iconColor = Qt::black;  // the panel turned light
  controller->statusItem()->onChanged();
  settle();
  EXPECT_EQ(opaqueLightness(log.lastIcon), std::pair(0, 0));
}

TEST_F(MenuBarControllerTest, SizeChangesOfOneTurnAreAppliedOnceAndAnimatedOnlyWhileShown) {
  build();
  EXPECT_EQ(size(), QSize(320, 148));
  signIn();
  log.sizes = {size()};
  recent->refresh(true);  // several published changes in one turn
  recentAPI->answer(RecentTransfersOutcome{std::vector{recentTransfer("a", "A"), recentTransfer("b", "B")}});
  settle();
  EXPECT_EQ(log.sizes, (std::vector{QSize(320, 148), QSize(320, 270), QSize(320, 176)}));

  controller->showPopover(true);
  log.sizes = {size()};
  startPreparing("a.txt");
  settle();
  EXPECT_EQ(log.sizes.size(), 1u);  // the animation runs on the queue's clock
  queue->advance(16ms);
  ASSERT_EQ(log.sizes.size(), 2u);
  EXPECT_EQ(log.sizes[1].height(), 176 + static_cast<int>(std::lround((264 - 176) * (1 - std::pow(0.9, 3)))));
  queue->advance(16ms * 9);
  EXPECT_EQ(size(), QSize(320, 60 + 28 + 52 * 2 + 28 + 44));
  EXPECT_EQ(log.sizes.size(), 11u);
}

TEST_F(MenuBarControllerTest, WithReduceMotionThePopoverResizesAtOnceAndPreparationDoesNotTurn) {
  Motion::shared()->setReduceMotion(true);
  build();
  signIn();
  controller->showPopover(true);
  log.sizes = {size()};
  startPreparing("a.txt");
  settle();
  EXPECT_EQ(log.sizes, (std::vector{QSize(320, 270), QSize(320, 132)}));
  queue->advance(500ms);
  EXPECT_EQ(controller->preparationAnimationFrame(), 0);
}

TEST_F(MenuBarControllerTest, ThePreparingIconTurnsTenFramesASecondUntilReduceMotionStopsIt) {
  build();
  signIn();
  startPreparing("a.txt");
  settle();
  ASSERT_EQ(controller->displayedIndicator(), MenuBarTransferIndicator(indicator::Preparing{}));
  const auto icons = log.icons;
  queue->advance(1300ms);
  EXPECT_EQ(controller->preparationAnimationFrame(), 1);  // thirteen steps: once round and one more
  EXPECT_EQ(log.icons, icons + 13);
  Motion::shared()->setReduceMotion(true);
  settle();
  EXPECT_EQ(controller->preparationAnimationFrame(), 0);
  queue->advance(1s);
  EXPECT_EQ(controller->preparationAnimationFrame(), 0);
}

TEST_F(MenuBarControllerTest, OpeningThePopoverAcknowledgesWhatItShows) {
  build();
  signIn();
  failUploading("a.txt");
  ASSERT_EQ(controller->displayedIndicator(), MenuBarTransferIndicator(indicator::Failed{}));
  EXPECT_EQ(log.value, "Transfer failed");
  controller->showPopover(true);
  EXPECT_TRUE(store->state().terminalSignals.empty());
  EXPECT_EQ(controller->displayedIndicator(), MenuBarTransferIndicator(indicator::Idle{}));
  EXPECT_EQ(log.value, "Ready, 1 failed");
  EXPECT_TRUE(controller->acknowledgedTerminalSignalIDs().empty());  // only signals still held are kept
}

TEST_F(MenuBarControllerTest, ARevealOpensThePopoverAtTheFailureForTwoSeconds) {
  build();
  signIn();
  EXPECT_FALSE(controller->revealFailure(UploadRunID::generate()));
  EXPECT_FALSE(controller->isPopoverShown());

  const auto first = failUploading("a.txt");
  const auto firstRun = *store->state().failures.back().runID;
  store->send(transfer_action::DismissCompletedTransfer{});
  const auto second = failUploading("b.txt");
  const auto secondRun = *store->state().failures.back().runID;
  ASSERT_TRUE(controller->revealFailure(firstRun));
  EXPECT_TRUE(controller->isPopoverShown());
  EXPECT_EQ(controller->dragPresentation().revealedTransferID(), first);
  queue->advance(1s);
  ASSERT_TRUE(controller->revealFailure(secondRun));
  queue->advance(1s);  // the first reset comes and leaves the second reveal
  EXPECT_EQ(controller->dragPresentation().revealedTransferID(), second);
  queue->advance(1s);
  EXPECT_EQ(controller->dragPresentation().revealedTransferID(), std::nullopt);
}

TEST_F(MenuBarControllerTest, DropsAreRefusedWhileTheAccountMayNotSend) {
  build();
  signIn(false);
  controller->showPopover(true);
  const auto url = QUrl::fromLocalFile(QString::fromStdString(directory.writeFile("a.txt", "x").string()));
  EXPECT_FALSE(controller->dropTarget().dragUpdated({url}));
  EXPECT_FALSE(controller->dropTarget().dropped({url}));
  EXPECT_TRUE(store->state().queue.empty() && !store->state().currentTransferID);
}

TEST_F(MenuBarControllerTest, ADropBecomesATransferAndThePopoverStaysOpen) {
  build();
  signIn();
  controller->showPopover(true);
  settle();
  const auto url = QUrl::fromLocalFile(QString::fromStdString(directory.writeFile("a.txt", "x").string()));
  EXPECT_TRUE(controller->isOutsideClickMonitorArmed());
  EXPECT_TRUE(controller->dropTarget().dragUpdated({url}));
  EXPECT_TRUE(controller->dragPresentation().isDropTargeted());
  EXPECT_FALSE(controller->isOutsideClickMonitorArmed());  // never closes under a drag
  EXPECT_TRUE(controller->dropTarget().dropped({url}));
  EXPECT_FALSE(controller->dragPresentation().isDropTargeted());
  EXPECT_TRUE(store->state().currentTransferID.has_value());
  EXPECT_TRUE(controller->isPopoverShown());
  EXPECT_TRUE(controller->isOutsideClickMonitorArmed());
}

TEST_F(MenuBarControllerTest, TheFilePickerKeepsThePopoverOpen) {
  build();
  signIn();
  controller->showPopover(true);
  settle();
  controller->popoverModel().uploadFiles();
  EXPECT_FALSE(controller->isOutsideClickMonitorArmed());
  picker->answer(std::nullopt);
  settle();
  EXPECT_TRUE(controller->isOutsideClickMonitorArmed());
}

TEST_F(MenuBarControllerTest, AConfirmationKeepsThePopoverOpenUntilItIsAnswered) {
  build();
  signIn();
  startPreparing("a.txt");
  controller->showPopover(true);
  settle();
  controller->popoverModel().perform(MenuBarMenuCommand::quit);
  EXPECT_FALSE(controller->isOutsideClickMonitorArmed());
  controller->popoverModel().dismissConfirmation();
  EXPECT_TRUE(controller->isOutsideClickMonitorArmed());
}

TEST_F(MenuBarControllerTest, APressOutsideThePopoverClosesItAndOneInsideDoesNot) {
  build();
  signIn();
  controller->showPopover(true);
  settle();
  QWindow window;
  auto press = [&](QPoint global) {
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(global), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &event);
  };
  press(QPoint(1000, 100));
  EXPECT_TRUE(controller->isPopoverShown());
  press(QPoint(1010, 10));  // on the tray icon: its own click toggles
  EXPECT_TRUE(controller->isPopoverShown());
  press(QPoint(10, 10));
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_FALSE(controller->isOutsideClickMonitorArmed());
}

TEST_F(MenuBarControllerTest, InvalidateTakesTheIconAwayOnceAndStopsEverything) {
  build();
  signIn();
  controller->showPopover(true);
  controller->invalidate();
  controller->invalidate();
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(log.removals, 1);
  const auto icons = log.icons;
  startPreparing("a.txt");
  settle();
  controller->showPopover(true);
  EXPECT_FALSE(controller->isPopoverShown());
  EXPECT_EQ(log.icons, icons);
  controller.reset();
  EXPECT_EQ(log.removals, 1);  // the release leaves the tray alone
}

}  // namespace
}  // namespace tavrel::testing
