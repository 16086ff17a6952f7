// Every view of the program and the share program under a pseudo-translation: each text of the
// catalogue shows in double square brackets, so an interface text shown without them escaped the
// translator, and data (names, titles, messages from the service, figures) must show as it came.

#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMenu>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <functional>
#include <memory>

#include "controls/file_type_icon.h"
#include "controls/motion.h"
#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_test_fixture.h"
#include "menubar/transfer_popover_view_model.h"
#include "onboarding/onboarding_fakes.h"
#include "onboarding/onboarding_view_model.h"
#include "shareextension/share_sheet_samples.h"
#include "shareextension/share_sheet_view_model.h"
#include "support/scripted_authentication.h"
#include "translations/pseudo_translator.h"
#include "translations/view_texts.h"
#include "ui/interface_setup.h"

Q_IMPORT_QML_PLUGIN(Tavrel_MenuBarPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_OnboardingPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_SharePlugin)

namespace tavrel {
namespace {

using testing::pseudoTranslated;

// The product's name is a name: it is never translated.
const QStringList kNames{QStringLiteral("Tavrel")};

// Installs the pseudo-translation for one test and shows views under it.
class PseudoTranslation {
 public:
  PseudoTranslation() : translator_(QStringLiteral(TAVREL_TRANSLATION_CATALOGUE)) {
    QCoreApplication::installTranslator(&translator_);
    ui::prepareEngine(engine_);
  }
  ~PseudoTranslation() { QCoreApplication::removeTranslator(&translator_); }

  // The texts of a view made from `qml` with `properties`, once the queue and the event loop settle.
  QStringList show(const QString& qml, const QVariantMap& properties, const std::function<void()>& settle) {
    QQmlComponent component(&engine_);
    component.setData(qml.toUtf8(), QUrl(QStringLiteral("qrc:/translations/View.qml")));
    std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
    auto* item = qobject_cast<QQuickItem*>(object.get());
    EXPECT_NE(item, nullptr) << component.errorString().toStdString();
    if (!item) return {};
    QQuickWindow window;
    window.resize(460, 560);
    item->setParentItem(window.contentItem());
    window.show();
    for (int i = 0; i < 10; ++i) {
      if (settle) settle();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    auto texts = testing::viewTexts(window);
    item->setParentItem(nullptr);
    return texts;
  }

  QStringList misses() const { return translator_.misses(); }
  const testing::PseudoTranslator& translator() const { return translator_; }

 private:
  testing::PseudoTranslator translator_;
  QQmlEngine engine_;
};

// Checks one state's texts: none escaped the catalogue, and each datum shows as it came.
void expectTranslated(const std::string& state, const QStringList& texts, const QStringList& data,
                      const QStringList& shownData = {}) {
  EXPECT_EQ(testing::untranslatedTexts(texts, data + kNames).join(" | ").toStdString(), "")
      << state << ": " << texts.join(" | ").toStdString();
  for (const auto& datum : shownData) {
    EXPECT_TRUE(texts.contains(datum)) << state << ": \"" << datum.toStdString()
                                       << "\" is not shown as it came in " << texts.join(" | ").toStdString();
  }
}

TEST(PseudoTranslationTest, TheCatalogueIsTheOneTheViewsUse) {
  PseudoTranslation translation;
  ASSERT_GT(translation.translator().catalogueSize(), 100);
  EXPECT_EQ(QCoreApplication::translate("TransferPopoverView", "Upload Files"),
            pseudoTranslated("Upload Files"));
}

class PopoverPseudoTranslationTest : public testing::MenuBarStoresTest {
 protected:
  PopoverPseudoTranslationTest() {
    Motion::shared()->setReduceMotion(true);
    model = std::make_unique<TransferPopoverViewModel>(
        *store, *recent, *authentication, settings, drag, *queue,
        TransferPopoverViewModel::callbacks(recorded.actions(), [] {}),
        [](const std::vector<std::string>& types, std::int64_t count, const std::string& name) {
          return FileTypeIcon::symbolName(types, static_cast<int>(count), name);
        },
        [this] { return wallClock; });
  }
  ~PopoverPseudoTranslationTest() override { model.reset(); }

  // The popover's texts and its menu's, in the current state.
  QStringList popoverTexts() {
    settle();
    model->appeared();
    auto texts =
        translation.show(QStringLiteral("import Tavrel.MenuBar\nTransferPopoverView {}"),
                         {{"model", QVariant::fromValue<QObject*>(model.get())}}, [this] { settle(); });
    std::unique_ptr<QMenu> menu(model->buildMenu());
    return texts + testing::menuTexts(*menu);
  }

  PseudoTranslation translation;
  MenuBarDragPresentationModel drag;
  std::unique_ptr<TransferPopoverViewModel> model;
};

TEST_F(PopoverPseudoTranslationTest, EveryStateBeforeSignIn) {
  expectTranslated("restoring", popoverTexts(), {});
  signOut();
  expectTranslated("signed out", popoverTexts(), {});
  beginSignIn();
  expectTranslated("authorizing", popoverTexts(), {});
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST_F(PopoverPseudoTranslationTest, UnavailableTranslatesTheCoreMessage) {
  becomeUnavailable();
  const auto texts = popoverTexts();
  expectTranslated("unavailable", texts, {});
  EXPECT_TRUE(
      texts.contains(pseudoTranslated("Tavrel is temporarily unavailable. Check your connection and retry.")))
      << texts.join(" | ").toStdString();
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST_F(PopoverPseudoTranslationTest, SignedInStatesShowDataAsItCame) {
  authAPI->setUser("Grace Hopper", "grace@example.com");
  signIn();
  const QStringList user{"Grace Hopper", "grace@example.com"};
  expectTranslated("empty", popoverTexts(), user, user);
  recent->refresh(true);
  expectTranslated("loading recent", popoverTexts(), user);
  recentAPI->answer(TransferAPIError::transportUnavailable());
  expectTranslated("recent error", popoverTexts(), user);
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST_F(PopoverPseudoTranslationTest, SendingUnavailable) {
  authAPI->setUser(std::nullopt, "grace@example.com");
  signIn(false);
  expectTranslated("sending unavailable", popoverTexts(), {"grace@example.com"}, {"grace@example.com"});
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST_F(PopoverPseudoTranslationTest, RowsTranslateTheirWordsAndKeepTitlesAndServiceMessages) {
  authAPI->setUser("Grace Hopper", "grace@example.com");
  signIn();
  failUploading("contract-final.pdf", "Storage is closed for maintenance.");
  store->send(transfer_action::DismissCompletedTransfer{});
  failUploading("budget.xlsx", "The network connection was lost.");
  store->send(transfer_action::DismissCompletedTransfer{});
  startPreparing("Holiday photos");
  enqueue("invoice.pdf");
  loadRecent({recentTransfer("t1", "Quarterly report.pdf", 1),
              recentTransfer("t2", "Design review & notes", 1'234)});
  const QStringList data{"contract-final.pdf",
                         "budget.xlsx",
                         "Holiday photos",
                         "invoice.pdf",
                         "Quarterly report.pdf",
                         "Design review & notes",
                         "Storage is closed for maintenance.",
                         "Grace Hopper",
                         "grace@example.com"};
  auto texts = popoverTexts();
  expectTranslated("rows", texts, data,
                   {"contract-final.pdf", "Quarterly report.pdf", "Design review & notes"});
  // A message from the service is data; the core's own is translated.
  EXPECT_TRUE(texts.contains(pseudoTranslated("Failed uploading • Storage is closed for maintenance.")))
      << texts.join(" | ").toStdString();
  EXPECT_TRUE(texts.contains(
      pseudoTranslated("Failed uploading • " + pseudoTranslated("The network connection was lost."))))
      << texts.join(" | ").toStdString();
  model->copyRecentLink("t1");
  expectTranslated("copied", popoverTexts(), data);
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST_F(PopoverPseudoTranslationTest, ReadyToUpload) {
  authAPI->setUser("Grace Hopper", "grace@example.com");
  signIn();
  reviewReady("presentation.key");
  expectTranslated("ready", popoverTexts(), {"presentation.key", "Grace Hopper", "grace@example.com"},
                   {"presentation.key"});
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST_F(PopoverPseudoTranslationTest, UploadingDropTargetAndConfirmations) {
  authAPI->setUser("Grace Hopper", "grace@example.com");
  signIn();
  startUploading("launch-video.mov");
  const QStringList data{"launch-video.mov", "Grace Hopper", "grace@example.com"};
  drag.setDropTargeted(true);
  expectTranslated("uploading, drop target", popoverTexts(), data, data);
  drag.setDropTargeted(false);
  model->cancelItem(QString::fromStdString(itemIDs.front().toString()));
  expectTranslated("cancel confirmation", popoverTexts(), data);
  model->dismissConfirmation();
  model->perform(MenuBarMenuCommand::signOut);
  expectTranslated("sign-out confirmation", popoverTexts(), data);
  model->dismissConfirmation();
  model->perform(MenuBarMenuCommand::quit);
  expectTranslated("quit confirmation", popoverTexts(), data);
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST_F(PopoverPseudoTranslationTest, TheStatusItemDescribesTheStateInTranslatedWords) {
  signIn();
  enqueue("notes.txt");
  settle();
  const auto text = QString::fromStdString(
      menuBarStatusDescription(authentication->state(), menu_bar_indicator::Idle{}, store->state()));
  EXPECT_EQ(testing::untranslatedTexts({text}, {}).join(" | ").toStdString(), "");
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

// The onboarding window over a store in each sign-in state.
class OnboardingScene {
 public:
  OnboardingScene(const std::function<void(testing::AuthenticationStoreBench&)>& reach,
                  LaunchAtLoginSetting::Status status = LaunchAtLoginSetting::Status::disabled,
                  std::optional<std::string> failure = std::nullopt) {
    launchAtLogin->set(status, std::move(failure));
    reach(bench);
    model = std::make_unique<OnboardingViewModel>(
        OnboardingViewModel::Services{bench.store, launchAtLogin,
                                      std::make_shared<testing::FakeQuickDropPreference>(),
                                      std::make_shared<testing::RecordingAnnouncer>(), bench.queue},
        [] {}, false, false);
  }

  QStringList texts(PseudoTranslation& translation) {
    return translation.show(QStringLiteral("import Tavrel.Onboarding\nOnboardingView {}"),
                            {{"model", QVariant::fromValue(model.get())}},
                            [this] { bench.queue->runUntilIdle(); });
  }

  testing::AuthenticationStoreBench bench;
  std::shared_ptr<testing::FakeLaunchAtLogin> launchAtLogin = std::make_shared<testing::FakeLaunchAtLogin>();
  std::unique_ptr<OnboardingViewModel> model;
};

TEST(OnboardingPseudoTranslationTest, EveryScreen) {
  using Bench = testing::AuthenticationStoreBench;
  using Status = LaunchAtLoginSetting::Status;
  PseudoTranslation translation;
  expectTranslated("restoring", OnboardingScene([](Bench&) {}).texts(translation), {});
  expectTranslated("signed out", OnboardingScene([](Bench& bench) { bench.signOut(); }).texts(translation),
                   {});
  expectTranslated("authorizing", OnboardingScene([](Bench& bench) { bench.authorize(); }).texts(translation),
                   {});
  expectTranslated("unavailable",
                   OnboardingScene([](Bench& bench) { bench.makeUnavailable(); }).texts(translation), {});
  const auto named = [](Bench& bench) {
    bench.api->setBootstrap(
        testing::ScriptedAuthenticationAPI::bootstrapFor("Grace Hopper", "grace@example.com", true));
    bench.signIn();
  };
  const auto texts = OnboardingScene(named).texts(translation);
  expectTranslated("signed in", texts, {"Grace Hopper"});
  EXPECT_TRUE(texts.contains(pseudoTranslated("Signed in as Grace Hopper")))
      << texts.join(" | ").toStdString();
  const auto withoutSending = [](Bench& bench) {
    bench.api->setBootstrap(
        testing::ScriptedAuthenticationAPI::bootstrapFor(std::nullopt, "grace@example.com", false));
    bench.signIn();
  };
  expectTranslated("signed in without sending", OnboardingScene(withoutSending).texts(translation),
                   {"grace@example.com"});
  for (const auto status : {Status::enabled, Status::requiresApproval, Status::unavailable}) {
    expectTranslated("open at login", OnboardingScene(named, status).texts(translation), {"Grace Hopper"});
  }
  expectTranslated(
      "open at login failed",
      OnboardingScene(named, Status::disabled, "The login item could not be written.").texts(translation),
      {"Grace Hopper", "The login item could not be written."});
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

TEST(SharePseudoTranslationTest, EverySheetState) {
  using namespace share_extension_state;
  PseudoTranslation translation;
  platform::ManualMainQueue queue;
  const auto items = testing::sampleItems();
  const QStringList names{"Harbour at dawn.jpeg", "Quarterly report.pdf", "Launch assets", "JPEG", "PDF"};
  const auto texts = [&](const ShareExtensionModel::State& state) {
    ShareSheetViewModel viewModel({}, {&queue, nullptr});
    viewModel.show(state);
    return translation.show(QStringLiteral(R"(
        import QtQuick
        import Tavrel.Share
        Item {
          required property ShareSheetViewModel viewModel
          ShareExtensionView { viewModel: parent.viewModel }
        })"),
                            {{"viewModel", QVariant::fromValue(&viewModel)}}, [&] { queue.runUntilIdle(); });
  };
  expectTranslated("loading", texts(Loading{}), {});
  expectTranslated("ready", texts(Ready{items}), names, {"Harbour at dawn.jpeg", "Launch assets"});
  expectTranslated("handing off", texts(HandingOff{items}), names);
  const auto failed = texts(Failed{"Tavrel didn’t respond. Open the app and try again.", items});
  expectTranslated("failed", failed, names);
  EXPECT_TRUE(failed.contains(pseudoTranslated("Tavrel didn’t respond. Open the app and try again.")))
      << failed.join(" | ").toStdString();
  EXPECT_EQ(translation.misses().join(" | ").toStdString(), "");
}

}  // namespace
}  // namespace tavrel
