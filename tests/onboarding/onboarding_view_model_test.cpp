#include <gmock/gmock.h>

#include <QSignalSpy>

#include "onboarding/onboarding_fakes.h"
#include "onboarding/onboarding_view_model.h"
#include "support/scripted_authentication.h"

namespace tavrel {
namespace {

using namespace authentication_state;
using namespace std::chrono_literals;
using Screen = OnboardingViewModel::Screen;
using Focus = OnboardingViewModel::FocusTarget;
using Status = LaunchAtLoginSetting::Status;
using Button = OnboardingViewModel::Button;
using ::testing::ElementsAre;

class OnboardingViewModelTest : public ::testing::Test {
 protected:
  void makeModel(bool quickDropAvailable = false, bool hasNotchedDisplay = false) {
    model = std::make_unique<OnboardingViewModel>(
        OnboardingViewModel::Services{bench.store, launchAtLogin, preferences, announcer, bench.queue, tray},
        [this] { ++doneCount; }, quickDropAvailable, hasNotchedDisplay);
    focusRequests = std::make_unique<QSignalSpy>(model.get(), &OnboardingViewModel::focusRequested);
  }
  void SetUp() override { makeModel(); }

  std::vector<Focus> focusHistory() const {
    std::vector<Focus> targets;
    for (const auto& arguments : *focusRequests) targets.push_back(arguments.at(0).value<Focus>());
    return targets;
  }
  std::vector<QString> buttonTexts() const {
    std::vector<QString> texts;
    for (const auto& button : model->buttonList()) texts.push_back(button.text);
    return texts;
  }

  testing::AuthenticationStoreBench bench;
  std::shared_ptr<testing::FakeLaunchAtLogin> launchAtLogin = std::make_shared<testing::FakeLaunchAtLogin>();
  std::shared_ptr<testing::FakeQuickDropPreference> preferences = std::make_shared<testing::FakeQuickDropPreference>();
  std::shared_ptr<testing::RecordingAnnouncer> announcer = std::make_shared<testing::RecordingAnnouncer>();
  std::shared_ptr<testing::FakeTray> tray = std::make_shared<testing::FakeTray>();
  std::unique_ptr<OnboardingViewModel> model;
  std::unique_ptr<QSignalSpy> focusRequests;
  int doneCount = 0;
};

// MARK: - One screen per sign-in state

TEST_F(OnboardingViewModelTest, RestoringShowsTheSpinnerScreenWithoutButtons) {
  EXPECT_EQ(model->screen(), Screen::restoring);
  EXPECT_EQ(model->title(), "Getting Tavrel ready...");
  EXPECT_EQ(model->message(), "Checking for an existing sign-in.");
  EXPECT_EQ(model->progressLabel(), "Checking for an existing sign-in");
  EXPECT_EQ(model->announcement(), "Getting Tavrel ready");
  EXPECT_TRUE(model->buttonList().empty());
  EXPECT_FALSE(model->showsArtwork());
  EXPECT_EQ(model->initialFocus(), Focus::none);
}

TEST_F(OnboardingViewModelTest, SignedOutWelcomesWithTheArtworkAndSignIn) {
  bench.signOut();
  EXPECT_EQ(model->screen(), Screen::signedOut);
  EXPECT_EQ(model->title(), "Share Files Fast & Securely");
  EXPECT_EQ(model->message(), "Tavrel lives in your menu bar and lets you share files without opening a browser.");
  EXPECT_EQ(model->announcement(), "Sign in to Tavrel");
  EXPECT_TRUE(model->showsArtwork());
  EXPECT_THAT(model->buttonList(), ElementsAre(Button{"signIn", "Sign In", "white", "default", "primary"}));
  EXPECT_TRUE(model->progressLabel().isEmpty());

  model->activate("signIn");
  EXPECT_TRUE(std::holds_alternative<Authorizing>(bench.store->state()));
  EXPECT_TRUE(bench.browser->isWaiting());
}

TEST_F(OnboardingViewModelTest, AuthorizingWaitsForTheBrowserAndCancelSignsOut) {
  bench.authorize();
  EXPECT_EQ(model->screen(), Screen::authorizing);
  EXPECT_EQ(model->title(), "Finish in your browser");
  EXPECT_EQ(model->message(),
            "Your browser will open to complete sign-in. You’ll return here automatically when you’re done.");
  EXPECT_EQ(model->statusLine(), "Waiting for sign-in...");
  EXPECT_EQ(model->announcement(), "Finish in your browser");
  EXPECT_FALSE(model->showsArtwork());
  EXPECT_THAT(model->buttonList(), ElementsAre(Button{"cancelSignIn", "Cancel", "secondary", "cancel", "secondary"}));
  EXPECT_EQ(model->initialFocus(), Focus::secondary);

  model->activate("cancelSignIn");
  EXPECT_TRUE(std::holds_alternative<SignedOut>(bench.store->state()));
  EXPECT_FALSE(bench.browser->isWaiting());
  bench.queue->runUntilIdle();  // the cancelled browser's late answer changes nothing
  EXPECT_EQ(model->screen(), Screen::signedOut);
}

TEST_F(OnboardingViewModelTest, UnavailableShowsTheStoresMessageWithRetryAndAnotherAccount) {
  bench.makeUnavailable();
  const auto message =
      QString::fromStdString(std::get<TemporarilyUnavailable>(bench.store->state()).message);
  ASSERT_FALSE(message.isEmpty());
  EXPECT_EQ(model->screen(), Screen::unavailable);
  EXPECT_EQ(model->title(), "Tavrel isn’t available right now");
  EXPECT_EQ(model->message(), message);
  EXPECT_EQ(model->announcement(), "Tavrel isn’t available right now");
  EXPECT_THAT(model->buttonList(),
              ElementsAre(Button{"retry", "Retry", "white", "default", "primary"},
                          Button{"useDifferentAccount", "Use a Different Account", "secondary", "", ""}));
  EXPECT_EQ(model->initialFocus(), Focus::primary);
}

TEST_F(OnboardingViewModelTest, RetryRestoresAgainAndReachesTheSignedInScreen) {
  bench.makeUnavailable();
  bench.api->setFailure(std::nullopt);
  model->activate("retry");
  EXPECT_EQ(model->screen(), Screen::restoring);  // set before the restore runs
  ASSERT_TRUE(bench.settle([](const auto& state) { return std::holds_alternative<Authenticated>(state); }));
  EXPECT_EQ(model->screen(), Screen::signedIn);
}

TEST_F(OnboardingViewModelTest, UseADifferentAccountSignsOutAndForgetsTheStoredSession) {
  bench.makeUnavailable();
  model->activate("useDifferentAccount");
  EXPECT_EQ(model->screen(), Screen::signedOut);
  ASSERT_TRUE(bench.queue->runUntil([&] { return !bench.keychain->token().has_value(); }));
}

TEST_F(OnboardingViewModelTest, SignedInWithSendingOffersOpenAtLoginAndDone) {
  bench.signIn();
  EXPECT_EQ(model->screen(), Screen::signedIn);
  EXPECT_EQ(model->title(), "You are all set");
  EXPECT_EQ(model->message(), "Look for the Tavrel icon in your menu bar whenever you’re ready to send files.");
  EXPECT_EQ(model->announcement(), "You are all set");
  EXPECT_TRUE(model->canInitiateTransfer());
  EXPECT_TRUE(model->workspaceNote().isEmpty());
  EXPECT_EQ(model->signedInAs(), "Signed in as Ada Lovelace");
  EXPECT_THAT(model->buttonList(), ElementsAre(Button{"done", "Done", "white", "default", "primary"}));

  model->activate("done");
  EXPECT_EQ(doneCount, 1);
}

TEST_F(OnboardingViewModelTest, WithoutATrayTheSignedInScreenSaysWhereToOpenTavrelAndFollowsTheTray) {
  tray->set(false);
  bench.signIn();
  const auto announcements = announcer->announcements;
  EXPECT_EQ(model->message(), "Open Tavrel from your applications whenever you’re ready to send files.");
  bench.queue->runUntilIdle();
  const auto focused = focusHistory();

  // A panel starts, and quits again, while the screen shows: only the words change.
  QSignalSpy changes(model.get(), &OnboardingViewModel::changed);
  tray->set(true);
  EXPECT_EQ(model->message(), "Look for the Tavrel icon in your menu bar whenever you’re ready to send files.");
  tray->set(false);
  EXPECT_EQ(model->message(), "Open Tavrel from your applications whenever you’re ready to send files.");
  EXPECT_EQ(changes.count(), 2);
  bench.queue->runUntilIdle();
  EXPECT_EQ(announcer->announcements, announcements);
  EXPECT_EQ(focusHistory(), focused);
  EXPECT_EQ(model->title(), "You are all set");
}

TEST_F(OnboardingViewModelTest, WithoutATrayTheWelcomeSaysWhereTavrelOpensAndFollowsTheTray) {
  tray->set(false);
  bench.signOut();
  EXPECT_EQ(model->message(), "Tavrel opens from your applications and lets you share files without opening a browser.");
  bench.queue->runUntilIdle();
  const auto focused = focusHistory();
  const auto announcements = announcer->announcements;

  tray->set(true);
  EXPECT_EQ(model->message(), "Tavrel lives in your menu bar and lets you share files without opening a browser.");
  tray->set(false);
  EXPECT_EQ(model->message(), "Tavrel opens from your applications and lets you share files without opening a browser.");
  bench.queue->runUntilIdle();
  EXPECT_EQ(announcer->announcements, announcements);
  EXPECT_EQ(focusHistory(), focused);
  EXPECT_EQ(model->title(), "Share Files Fast & Securely");
}

TEST_F(OnboardingViewModelTest, SignedInWithoutSendingExplainsTheWorkspaceAndNamesTheEmail) {
  bench.api->setBootstrap(testing::ScriptedAuthenticationAPI::bootstrapFor(std::nullopt, "ada@example.com", false));
  bench.signIn();
  EXPECT_EQ(model->title(), "You’re signed in");
  EXPECT_EQ(model->message(), "Your workspace doesn’t currently allow you to start transfers.");
  EXPECT_EQ(model->announcement(), "You’re signed in, but sending is unavailable");
  EXPECT_EQ(model->workspaceNote(),
            "You can still view existing transfers. Ask a workspace admin if you need sending access.");
  EXPECT_EQ(model->signedInAs(), "Signed in as ada@example.com");
  EXPECT_FALSE(model->canInitiateTransfer());
}

TEST_F(OnboardingViewModelTest, ABlankNameGreetsByEmailInstead) {
  bench.api->setBootstrap(testing::ScriptedAuthenticationAPI::bootstrapFor("  ", "ada@example.com", true));
  bench.signIn();
  EXPECT_EQ(model->signedInAs(), "Signed in as ada@example.com");
}

TEST_F(OnboardingViewModelTest, ReturnAndEscapeRunOnlyTheScreensDefaultAndCancelButtons) {
  model->activateDefault();  // restoring has neither
  model->activateCancel();
  EXPECT_EQ(model->screen(), Screen::restoring);

  bench.signOut();
  model->activateCancel();
  EXPECT_EQ(model->screen(), Screen::signedOut);
  model->activateDefault();
  EXPECT_EQ(model->screen(), Screen::authorizing);
  model->activateDefault();
  EXPECT_EQ(model->screen(), Screen::authorizing);
  model->activateCancel();
  EXPECT_EQ(model->screen(), Screen::signedOut);
}

TEST_F(OnboardingViewModelTest, AButtonOfAnotherScreenDoesNothing) {
  bench.signOut();
  model->activate("done");
  model->activate("retry");
  model->activate("cancelSignIn");
  model->activate("unknown");
  EXPECT_EQ(doneCount, 0);
  EXPECT_EQ(model->screen(), Screen::signedOut);
}

// MARK: - Island row (never offered by the onboarding window)

TEST_F(OnboardingViewModelTest, TheIslandRowIsOffByDefaultAndItsHintFollowsPermissionAndNotch) {
  bench.signIn();
  EXPECT_FALSE(model->quickDropAvailable());
  EXPECT_EQ(model->quickDropHint(), "Drag files at the top center of your screen to start a transfer.");
  model->setQuickDropEnabled(true);
  EXPECT_TRUE(preferences->isQuickDropEnabled());
  EXPECT_TRUE(model->quickDropEnabled());

  makeModel(true, true);
  EXPECT_TRUE(model->quickDropAvailable());
  EXPECT_EQ(model->quickDropHint(), "Drag files near the top of your screen to start a transfer instantly.");

  bench.api->setBootstrap(testing::ScriptedAuthenticationAPI::bootstrapFor("Ada", "ada@example.com", false));
  bench.queue->advance(1h);  // the renewal loads the new bootstrap
  ASSERT_TRUE(bench.settle([](const auto& state) { return !canInitiateTransfer(state); }));
  EXPECT_EQ(model->quickDropHint(), "Available when your workspace allows sending.");
}

// MARK: - Open at login

TEST_F(OnboardingViewModelTest, TheToggleIsOnWhileEnabledOrAwaitingApprovalAndWritesThrough) {
  const std::vector<std::pair<Status, bool>> cases{
      {Status::disabled, false}, {Status::enabled, true}, {Status::requiresApproval, true}, {Status::unavailable, false}};
  for (const auto& [status, on] : cases) {
    launchAtLogin->set(status);
    EXPECT_EQ(model->launchAtLoginOn(), on) << static_cast<int>(status);
  }
  model->setLaunchAtLoginOn(true);
  model->setLaunchAtLoginOn(false);
  EXPECT_THAT(launchAtLogin->requests, ElementsAre(true, false));
}

TEST_F(OnboardingViewModelTest, EachStatusHasItsHintAndNote) {
  struct Case {
    Status status;
    std::optional<std::string> failure;
    QString hint;
    QString note;
    bool offersSettings;
  };
  const std::string failure = "Tavrel couldn’t update Open at Login. Try again or review Login Items in System Settings.";
  const std::vector<Case> cases{
      {Status::disabled, std::nullopt, "Allows Tavrel to start automatically when you log in.", "", false},
      {Status::enabled, std::nullopt, "Stops Tavrel from starting automatically when you log in.", "", false},
      {Status::disabled, failure, "Allows Tavrel to start automatically when you log in.",
       QString::fromStdString(failure), true},
      {Status::enabled, failure, "Stops Tavrel from starting automatically when you log in.",
       QString::fromStdString(failure), true},
      {Status::requiresApproval, std::nullopt,
       "Approval is required in System Settings before Tavrel can start at login.",
       "Approval is required before Tavrel can open at login.", true},
      {Status::unavailable, std::nullopt, "Adds Tavrel to your Login Items.",
       "Turn this on to add Tavrel to your Login Items.", false},
      {Status::unavailable, failure, "Adds Tavrel to your Login Items.", QString::fromStdString(failure), false},
  };
  for (const auto& expected : cases) {
    launchAtLogin->set(expected.status, expected.failure);
    SCOPED_TRACE(static_cast<int>(expected.status));
    EXPECT_EQ(model->launchAtLoginHint(), expected.hint);
    EXPECT_EQ(model->launchAtLoginNote(), expected.note);
    EXPECT_EQ(model->launchAtLoginNoteOffersSettings(), expected.offersSettings);
  }
  model->openLoginItemsSettings();
  EXPECT_EQ(launchAtLogin->settingsOpened, 1);
}

TEST_F(OnboardingViewModelTest, AChangedLoginItemRedrawsTheView) {
  QSignalSpy changes(model.get(), &OnboardingViewModel::changed);
  launchAtLogin->set(Status::enabled, "failed");
  preferences->setQuickDropEnabled(true);
  EXPECT_EQ(changes.count(), 2);
}

// MARK: - Focus and announcements

TEST_F(OnboardingViewModelTest, TheFirstScreenTakesFocusAfterTheViewAppearsAndIsNotAnnounced) {
  bench.signOut();
  announcer->announcements.clear();
  makeModel();  // the window opens on the welcome screen
  model->viewAppeared();
  EXPECT_EQ(focusRequests->count(), 0);  // scheduled, not yet run
  bench.queue->runUntilIdle();
  EXPECT_THAT(focusHistory(), ElementsAre(Focus::primary));
  EXPECT_EQ(model->focusTarget(), Focus::primary);
  EXPECT_TRUE(announcer->announcements.isEmpty());
}

TEST_F(OnboardingViewModelTest, EachNewScreenIsAnnouncedAtOnceAndFocusedAfterwards) {
  bench.store->restore();
  ASSERT_TRUE(bench.settle([](const auto& state) { return std::holds_alternative<SignedOut>(state); }));
  // The announcement went out while the focus request still waited on the queue.
  EXPECT_EQ(announcer->announcements, QStringList{"Sign in to Tavrel"});
  EXPECT_EQ(focusRequests->count(), 0);
  bench.queue->runUntilIdle();
  EXPECT_THAT(focusHistory(), ElementsAre(Focus::primary));

  bench.store->signIn();
  bench.queue->runUntilIdle();
  model->activate("cancelSignIn");
  bench.queue->runUntilIdle();
  EXPECT_EQ(announcer->announcements,
            (QStringList{"Sign in to Tavrel", "Finish in your browser", "Sign in to Tavrel"}));
  EXPECT_THAT(focusHistory(), ElementsAre(Focus::primary, Focus::secondary, Focus::primary));
}

TEST_F(OnboardingViewModelTest, RetryAnnouncesRestoringAndClearsFocusUntilTheNextScreen) {
  bench.makeUnavailable();
  bench.queue->runUntilIdle();
  bench.api->setFailure(std::nullopt);
  model->activate("retry");
  ASSERT_TRUE(bench.settle([](const auto& state) { return std::holds_alternative<Authenticated>(state); }));
  bench.queue->runUntilIdle();
  EXPECT_EQ(announcer->announcements,
            (QStringList{"Tavrel isn’t available right now", "Getting Tavrel ready", "You are all set"}));
  EXPECT_THAT(focusHistory(), ElementsAre(Focus::primary, Focus::none, Focus::primary));
}

TEST_F(OnboardingViewModelTest, ASilentTokenRenewalNeitherMovesFocusNorRepeatsTheTitle) {
  bench.api->setTokenLifetime(600);
  bench.signIn();
  bench.queue->runUntilIdle();
  const auto before = std::get<Authenticated>(bench.store->state()).account.accessToken;
  ASSERT_EQ(announcer->announcements, QStringList{"You are all set"});
  ASSERT_EQ(focusRequests->count(), 1);

  bench.queue->advance(10min);
  ASSERT_TRUE(bench.settle([&](const auto& state) {
    const auto* account = authenticatedAccount(state);
    return account && account->accessToken != before;
  }));
  bench.queue->runUntilIdle();
  EXPECT_EQ(announcer->announcements, QStringList{"You are all set"});
  EXPECT_EQ(focusRequests->count(), 1);
}

TEST_F(OnboardingViewModelTest, ARenewalThatTakesAwaySendingIsAnnouncedAsTheOtherSignedInScreen) {
  bench.signIn();
  bench.api->setBootstrap(testing::ScriptedAuthenticationAPI::bootstrapFor("Ada", "ada@example.com", false));
  bench.queue->advance(1h);
  ASSERT_TRUE(bench.settle([](const auto& state) { return !canInitiateTransfer(state); }));
  bench.queue->runUntilIdle();
  EXPECT_EQ(announcer->announcements,
            (QStringList{"You are all set", "You’re signed in, but sending is unavailable"}));
  EXPECT_EQ(model->title(), "You’re signed in");
}

TEST_F(OnboardingViewModelTest, AFocusRequestOutlivingTheViewModelDoesNothing) {
  bench.signOut();
  model->viewAppeared();
  focusRequests.reset();
  model.reset();
  bench.queue->runUntilIdle();  // must not touch the destroyed model
  SUCCEED();
}

}  // namespace
}  // namespace tavrel
