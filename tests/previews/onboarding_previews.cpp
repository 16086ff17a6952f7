#include <QQuickItem>
#include <QtQml/qqmlextensionplugin.h>

#include "onboarding/onboarding_fakes.h"
#include "onboarding/onboarding_view_model.h"
#include "previews/preview_canvas.h"
#include "support/scripted_authentication.h"

Q_IMPORT_QML_PLUGIN(Tavrel_OnboardingPlugin)

namespace {

using tavrel::OnboardingViewModel;
using Status = tavrel::LaunchAtLoginSetting::Status;
using Bench = tavrel::testing::AuthenticationStoreBench;

const QSize kWindow(400, 500);
const QColor kBlack(Qt::black);

// One onboarding window's content over a store in a chosen state.
struct Scene {
  explicit Scene(const std::function<void(Bench&)>& reach, Status status = Status::disabled,
                 std::optional<std::string> failure = std::nullopt, bool quickDropAvailable = false,
                 bool trayPresent = true) {
    launchAtLogin->set(status, std::move(failure));
    reach(bench);
    model = std::make_unique<OnboardingViewModel>(
        OnboardingViewModel::Services{bench.store, launchAtLogin,
                                      std::make_shared<tavrel::testing::FakeQuickDropPreference>(),
                                      std::make_shared<tavrel::testing::RecordingAnnouncer>(), bench.queue,
                                      std::make_shared<tavrel::testing::FakeTray>(trayPresent)},
        [] {}, quickDropAvailable, false);
  }
  // `focused`: the objectName of a control to give the keyboard focus, as a Tab would.
  void render(tavrel::previews::PreviewCanvas& canvas, const QString& name, const QString& focused = {}) {
    if (!focused.isEmpty()) {
      canvas.prepare = [focused](QQuickItem& view) {
        if (auto* control = view.findChild<QQuickItem*>(focused)) control->forceActiveFocus(Qt::TabFocusReason);
      };
    }
    canvas.settle = [this] { bench.queue->runUntilIdle(); };
    canvas.render(name, QStringLiteral("import Tavrel.Onboarding\nOnboardingView {}"),
                  {{"model", QVariant::fromValue(model.get())}}, kWindow, kBlack);
    canvas.settle = nullptr;
  }

  Bench bench;
  std::shared_ptr<tavrel::testing::FakeLaunchAtLogin> launchAtLogin =
      std::make_shared<tavrel::testing::FakeLaunchAtLogin>();
  std::unique_ptr<OnboardingViewModel> model;
};

void signInWithoutSending(Bench& bench) {
  bench.api->setBootstrap(tavrel::testing::ScriptedAuthenticationAPI::bootstrapFor(std::nullopt, "ada@example.com", false));
  bench.signIn();
}

}  // namespace

TAVREL_PREVIEWS(onboarding) {
  const std::string failure = "Tavrel couldn’t update Open at Login. Try again or review Login Items in System Settings.";
  Scene([](Bench&) {}).render(canvas, "restoring");
  Scene([](Bench& bench) { bench.signOut(); }).render(canvas, "signed-out");
  Scene([](Bench& bench) { bench.signOut(); }, Status::disabled, std::nullopt, false, /*trayPresent=*/false)
      .render(canvas, "signed-out-without-tray");
  Scene([](Bench& bench) { bench.authorize(); }).render(canvas, "authorizing");
  Scene([](Bench& bench) { bench.makeUnavailable(); }).render(canvas, "unavailable");
  Scene([](Bench& bench) { bench.signIn(); }).render(canvas, "signed-in");
  Scene([](Bench& bench) { bench.signIn(); }, Status::disabled, std::nullopt, false, /*trayPresent=*/false)
      .render(canvas, "signed-in-without-tray");
  Scene(signInWithoutSending).render(canvas, "signed-in-without-sending");
  Scene([](Bench& bench) { bench.signIn(); }, Status::enabled).render(canvas, "open-at-login-enabled");
  Scene([](Bench& bench) { bench.signIn(); }, Status::requiresApproval).render(canvas, "open-at-login-requires-approval");
  Scene([](Bench& bench) { bench.signIn(); }, Status::requiresApproval)
      .render(canvas, "focused-open-at-login", QStringLiteral("launchAtLoginToggle"));
  Scene([](Bench& bench) { bench.signIn(); }, Status::requiresApproval)
      .render(canvas, "focused-open-system-settings", QStringLiteral("openSystemSettings"));
  Scene([](Bench& bench) { bench.makeUnavailable(); })
      .render(canvas, "focused-use-a-different-account", QStringLiteral("button-useDifferentAccount"));
  Scene([](Bench& bench) { bench.signIn(); }, Status::unavailable).render(canvas, "open-at-login-unavailable");
  Scene([](Bench& bench) { bench.signIn(); }, Status::unavailable, failure)
      .render(canvas, "open-at-login-unavailable-failed");
  Scene([](Bench& bench) { bench.signIn(); }, Status::disabled, failure).render(canvas, "open-at-login-failed");
  Scene(signInWithoutSending, Status::requiresApproval).render(canvas, "signed-in-without-sending-requires-approval");

  // The island help button and its popover, which the window never shows.
  for (const bool maySend : {true, false}) {
    canvas.render(maySend ? QStringLiteral("quick-drop-tooltip") : QStringLiteral("quick-drop-tooltip-without-sending"),
                  QStringLiteral(R"(
      import QtQuick
      import Tavrel.Onboarding
      Item {
        property bool maySend
        QuickDropHelpButton {
          id: help
          x: 140; y: 12
          canInitiateTransfer: parent.maySend
          tooltipText: parent.maySend ? "Drag files at the top center of your screen to start a transfer."
                                      : "Available when your workspace allows sending."
          Component.onCompleted: help.helpState.togglePinned()
        }
      })"),
                  {{"maySend", maySend}}, QSize(320, maySend ? 260 : 110), kBlack);
  }
}
