#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <list>

#include "onboarding/onboarding_fakes.h"
#include "onboarding/onboarding_view_model.h"
#include "support/scripted_authentication.h"
#include "qt_support/quick_test_driver.h"

namespace {

using tavrel::OnboardingViewModel;
using Status = tavrel::LaunchAtLoginSetting::Status;

// Exposed to the tests as `harness`: builds view models over a real authentication store in a
// chosen sign-in state, runs the main queue, and reports what the view asked of its owners.
class Harness : public QObject {
  Q_OBJECT
  Q_PROPERTY(int doneCount MEMBER doneCount_ NOTIFY recorded)

 public:

  // state: "restoring", "signedOut", "authorizing", "unavailable", "signedIn", "signedInWithoutSending";
  // launchAtLogin: "disabled", "enabled", "requiresApproval", "unavailable".
  Q_INVOKABLE QObject* make(const QString& state, const QString& launchAtLogin = QStringLiteral("disabled"),
                            const QString& failure = {}) {
    auto& scene = scenes_.emplace_back();
    const std::map<QString, Status> statuses{{"disabled", Status::disabled},
                                             {"enabled", Status::enabled},
                                             {"requiresApproval", Status::requiresApproval},
                                             {"unavailable", Status::unavailable}};
    scene.launchAtLogin->set(statuses.at(launchAtLogin),
                             failure.isEmpty() ? std::nullopt : std::optional(failure.toStdString()));
    auto& bench = scene.bench;
    if (state == QLatin1String("signedOut")) bench.signOut();
    if (state == QLatin1String("authorizing")) bench.authorize();
    if (state == QLatin1String("unavailable")) bench.makeUnavailable();
    if (state == QLatin1String("signedInWithoutSending")) {
      bench.api->setBootstrap(tavrel::testing::ScriptedAuthenticationAPI::bootstrapFor("Ada", "ada@example.com", false));
    }
    if (state.startsWith(QLatin1String("signedIn"))) bench.signIn();
    scene.model = std::make_unique<OnboardingViewModel>(
        OnboardingViewModel::Services{bench.store, scene.launchAtLogin,
                                      std::make_shared<tavrel::testing::FakeQuickDropPreference>(), scene.announcer,
                                      bench.queue},
        [this] {
          ++doneCount_;
          emit recorded();
        });
    QQmlEngine::setObjectOwnership(scene.model.get(), QQmlEngine::CppOwnership);
    return scene.model.get();
  }

  // Runs what the newest view model's main queue holds (focus requests, store results).
  // Restores the newest store's session: without a stored one it signs out.
  Q_INVOKABLE void restore() {
    auto& bench = scenes_.back().bench;
    bench.store->restore();
    bench.settle([](const auto& state) {
      return !std::holds_alternative<tavrel::authentication_state::Restoring>(state);
    });
  }
  Q_INVOKABLE void drain() { scenes_.back().bench.queue->runUntilIdle(); }
  Q_INVOKABLE QString storeState() const {
    // In the order of the state's cases.
    static const char* const names[] = {"signedIn", "unavailable", "restoring", "signedOut", "authorizing"};
    return QString::fromLatin1(names[scenes_.back().bench.store->state().index()]);
  }
  Q_INVOKABLE QVariantList launchAtLoginRequests() const {
    QVariantList requests;
    for (bool request : scenes_.back().launchAtLogin->requests) requests.append(request);
    return requests;
  }
  Q_INVOKABLE int settingsOpened() const { return scenes_.back().launchAtLogin->settingsOpened; }
  Q_INVOKABLE QStringList announcements() const { return scenes_.back().announcer->announcements; }
  Q_INVOKABLE void reset() {
    scenes_.clear();
    doneCount_ = 0;
  }
  Q_INVOKABLE void advance(int milliseconds) { tavrel::testing::quickTestDriver().advance(milliseconds); }

 signals:
  void recorded();

 private:
  struct Scene {
    tavrel::testing::AuthenticationStoreBench bench;
    std::shared_ptr<tavrel::testing::FakeLaunchAtLogin> launchAtLogin =
        std::make_shared<tavrel::testing::FakeLaunchAtLogin>();
    std::shared_ptr<tavrel::testing::RecordingAnnouncer> announcer =
        std::make_shared<tavrel::testing::RecordingAnnouncer>();
    std::unique_ptr<OnboardingViewModel> model;
  };
  std::list<Scene> scenes_;
  int doneCount_ = 0;
};

class Setup : public tavrel::testing::QuickTestSetup {
 protected:
  void engineReady(QQmlEngine& engine) override {
    engine.rootContext()->setContextProperty(QStringLiteral("harness"), &harness_);
  }
  void cleanUp() override { harness_.reset(); }

 private:
  Harness harness_;
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_OnboardingPlugin)

QUICK_TEST_MAIN_WITH_SETUP(onboarding, Setup)

#include "main.moc"
