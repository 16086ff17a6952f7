// Every view of the program and the share program under a pseudo-translation: each text of the
// catalogue shows in double square brackets, so an interface text shown without them escaped the
// translator, and data (names, titles, messages from the service, figures) must show as it came.
// Texts are read from the item tree and from the accessibility tree.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <functional>
#include <memory>

#include "controls/file_type_icon.h"
#include "controls/motion.h"
#include "desktop/launch_at_login_model.h"
#include "island/island_scene.h"
#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_test_fixture.h"
#include "menubar/transfer_popover_view_model.h"
#include "onboarding/onboarding_fakes.h"
#include "onboarding/onboarding_view_model.h"
#include "shareextension/share_sheet_samples.h"
#include "shareextension/core/share_extension_item_loader.h"
#include "shareextension/share_sheet_view_model.h"
#include "support/scripted_authentication.h"
#include "ui/interface_setup.h"

Q_IMPORT_QML_PLUGIN(Tavrel_IslandPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_MenuBarPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_OnboardingPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_SharePlugin)

namespace tavrel {
namespace {

QString pseudoTranslated(const QString& text) { return QStringLiteral("[[") + text + QStringLiteral("]]"); }

// Answers every text of the catalogue with the text in double square brackets ("Upload Files" →
// "[[Upload Files]]"). Texts looked up under one of our contexts that the catalogue lacks are kept as
// misses: a translated call the translation tools did not collect, or a view translating its data.
class PseudoTranslator final : public QTranslator {
 public:
  explicit PseudoTranslator(const QString& catalogueFile) {
    QFile file(catalogueFile);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << catalogueFile.toStdString();
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
      if (!xml.readNextStartElement()) continue;
      if (xml.name() == QLatin1String("name")) context = xml.readElementText();
      if (xml.name() == QLatin1String("source")) catalogue_.insert(context + u'\n' + xml.readElementText());
    }
  }

  QString translate(const char* context, const char* sourceText, const char*, int) const override {
    const QString source = QString::fromUtf8(sourceText);
    if (catalogue_.contains(QString::fromUtf8(context) + u'\n' + source)) return pseudoTranslated(source);
    // The core's messages are looked up by value, a service's message included; Qt's own contexts
    // ("QShortcut") have catalogues of their own.
    const bool byValue = qstrcmp(context, "Core") == 0;
    const bool qt = context[0] == 'Q' && context[1] >= 'A' && context[1] <= 'Z';
    if (!byValue && !qt) misses_.insert(QString::fromUtf8(context) + QStringLiteral(": ") + source);
    return {};
  }
  bool isEmpty() const override { return false; }

  QString misses() const {
    QStringList list(misses_.begin(), misses_.end());
    std::sort(list.begin(), list.end());
    return list.join(QStringLiteral(" | "));
  }

 private:
  QSet<QString> catalogue_;
  mutable QSet<QString> misses_;
};

void addText(QStringList& texts, const QString& text) {
  if (!text.trimmed().isEmpty()) texts.append(text);
}

void collectItems(QQuickItem& item, QStringList& texts) {
  const QVariant text = item.property("text");
  if (text.typeId() == QMetaType::QString) addText(texts, text.toString());
  for (QQuickItem* child : item.childItems()) collectItems(*child, texts);
}

void collectAccessible(QAccessibleInterface* object, QStringList& texts, int depth) {
  if (!object || !object->isValid() || depth > 64) return;
  for (const auto kind : {QAccessible::Name, QAccessible::Description, QAccessible::Value}) {
    addText(texts, object->text(kind));
  }
  for (int i = 0; i < object->childCount(); ++i) collectAccessible(object->child(i), texts, depth + 1);
}

// Every non-empty text under the window: each item's `text`, each accessible object's name,
// description and value.
QStringList viewTexts(QQuickWindow& window) {
  QStringList texts;
  collectItems(*window.contentItem(), texts);
  collectAccessible(QAccessible::queryAccessibleInterface(&window), texts, 0);
  texts.removeDuplicates();
  return texts;
}

QStringList menuTexts(const QMenu& menu) {
  QStringList texts;
  for (const QAction* action : menu.actions()) {
    if (!action->isSeparator()) {
      addText(texts, action->text().replace(QStringLiteral("&&"), QStringLiteral("&")));
    }
  }
  return texts;
}

// The texts that hold more than pseudo-translated texts, the given data and figures: interface
// texts shown without going through the catalogue.
QStringList untranslatedTexts(const QStringList& texts, const QStringList& data) {
  // Innermost first: a translated text may hold another ("[[Tavrel — [[Ready]]]]").
  static const QRegularExpression translated(QStringLiteral(R"(\[\[(?!\[)((?!\[\[).)*?\]\])"));
  // What number formatting writes: digits and separators, byte and count units, compact durations.
  static const QRegularExpression figures(
      QStringLiteral(R"(\A(?:[\s\d.,:/%•·—()+\-]|\b(?:Zero|bytes?|[KMGTP]?B|[KMBT]|[smh]|sec|min|hr)\b)*\z)"));
  QStringList longestFirst = data;
  std::sort(longestFirst.begin(), longestFirst.end(),
            [](const auto& a, const auto& b) { return a.size() > b.size(); });
  QStringList escaped;
  for (const QString& text : texts) {
    QString rest = text;
    for (QString previous; previous != rest;) {
      previous = rest;
      rest.replace(translated, QStringLiteral(" "));
    }
    for (const QString& part : longestFirst) rest.replace(part, QStringLiteral(" "));
    if (!figures.match(rest).hasMatch()) escaped.append(text);
  }
  return escaped;
}

// The product's name is a name: it is never translated.
const QStringList kNames{QStringLiteral("Tavrel")};

// Installs the pseudo-translation for one test and shows views under it.
class PseudoTranslation {
 public:
  PseudoTranslation() : translator_(QStringLiteral(TAVREL_TRANSLATION_CATALOGUE)) {
    QCoreApplication::installTranslator(&translator_);
    ui::prepareEngine(engine_);
  }
  ~PseudoTranslation() {
    QCoreApplication::removeTranslator(&translator_);
    EXPECT_EQ(translator_.misses().toStdString(), "") << "looked up, but not in the catalogue";
  }

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
    auto texts = viewTexts(window);
    item->setParentItem(nullptr);
    return texts;
  }

 private:
  PseudoTranslator translator_;
  QQmlEngine engine_;
};

// Checks one state's texts: none escaped the catalogue, and each datum shows as it came.
void expectTranslated(const std::string& state, const QStringList& texts, const QStringList& data,
                      const QStringList& shownData = {}) {
  EXPECT_EQ(untranslatedTexts(texts, data + kNames).join(" | ").toStdString(), "")
      << state << ": " << texts.join(" | ").toStdString();
  for (const auto& datum : shownData) {
    EXPECT_TRUE(texts.contains(datum)) << state << ": \"" << datum.toStdString()
                                       << "\" is not shown as it came in " << texts.join(" | ").toStdString();
  }
}

class PopoverPseudoTranslationTest : public testing::MenuBarStoresTest {
 protected:
  PopoverPseudoTranslationTest() {
    Motion::shared()->setReduceMotion(true);
    authAPI->setUser("Grace Hopper", "grace@example.com");
    model = std::make_unique<TransferPopoverViewModel>(
        *store, *recent, *authentication, settings, drag, *queue,
        TransferPopoverViewModel::callbacks(recorded.actions(), [] {}),
        [](const std::vector<std::string>& types, std::int64_t count, const std::string& name) {
          return FileTypeIcon::symbolName(types, static_cast<int>(count), name);
        },
        [this] { return wallClock; });
  }
  ~PopoverPseudoTranslationTest() override { model.reset(); }

  // Checks the popover's texts and its menu's in the current state; the user is data.
  QStringList expectPopoverTranslated(const std::string& state, QStringList data = {},
                                      const QStringList& shown = {}) {
    const auto texts = popoverTexts();
    expectTranslated(state, texts,
                     data << "Grace Hopper"
                          << "grace@example.com",
                     shown);
    return texts;
  }

  QStringList popoverTexts() {
    settle();
    model->appeared();
    auto texts =
        translation.show(QStringLiteral("import Tavrel.MenuBar\nTransferPopoverView {}"),
                         {{"model", QVariant::fromValue<QObject*>(model.get())}}, [this] { settle(); });
    std::unique_ptr<QMenu> menu(model->buildMenu());
    return texts + menuTexts(*menu);
  }

  PseudoTranslation translation;
  MenuBarDragPresentationModel drag;
  std::unique_ptr<TransferPopoverViewModel> model;
};

TEST_F(PopoverPseudoTranslationTest, EveryStateBeforeSignIn) {
  expectPopoverTranslated("restoring");
  signOut();
  expectPopoverTranslated("signed out");
  beginSignIn();
  expectPopoverTranslated("authorizing");
}

TEST_F(PopoverPseudoTranslationTest, UnavailableTranslatesTheCoreMessage) {
  becomeUnavailable();
  const auto texts = expectPopoverTranslated("unavailable");
  EXPECT_TRUE(texts.contains(
      pseudoTranslated("Tavrel is temporarily unavailable. Check your connection and retry.")));
}

TEST_F(PopoverPseudoTranslationTest, SignedInStatesShowTheUserAsTheyAre) {
  signIn();
  expectPopoverTranslated("empty", {}, {"Grace Hopper", "grace@example.com"});
  recent->refresh(true);
  expectPopoverTranslated("loading recent");
  recentAPI->answer(TransferAPIError::transportUnavailable());
  expectPopoverTranslated("recent error");
}

TEST_F(PopoverPseudoTranslationTest, AUserNamedLikeAMenuRowIsShownAsNamed) {
  authAPI->setUser("Retry", "sign.out@example.com");
  signIn();
  const auto texts = popoverTexts();
  EXPECT_TRUE(texts.contains("Retry")) << texts.join(" | ").toStdString();
}

TEST_F(PopoverPseudoTranslationTest, SendingUnavailable) {
  signIn(false);
  expectPopoverTranslated("sending unavailable");
}

TEST_F(PopoverPseudoTranslationTest, RowsTranslateTheirWordsAndKeepTitlesAndServiceMessages) {
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
                         "Storage is closed for maintenance."};
  const auto texts = expectPopoverTranslated("rows", data, {"contract-final.pdf", "Design review & notes"});
  // A message from the service is data; the core's own is translated.
  EXPECT_TRUE(texts.contains(pseudoTranslated("Failed uploading • Storage is closed for maintenance.")));
  EXPECT_TRUE(texts.contains(
      pseudoTranslated("Failed uploading • " + pseudoTranslated("The network connection was lost."))));
  model->copyRecentLink("t1");
  expectPopoverTranslated("copied", data);
}

TEST_F(PopoverPseudoTranslationTest, ReadyToUpload) {
  signIn();
  reviewReady("presentation.key");
  expectPopoverTranslated("ready", {"presentation.key"}, {"presentation.key"});
}

TEST_F(PopoverPseudoTranslationTest, UploadingDropTargetConfirmationsAndTheStatusItem) {
  signIn();
  startUploading("launch-video.mov");
  enqueue("notes.txt");
  const QStringList data{"launch-video.mov", "notes.txt"};
  drag.setDropTargeted(true);
  expectPopoverTranslated("uploading, drop target", data, data);
  drag.setDropTargeted(false);
  model->cancelItem(QString::fromStdString(itemIDs.front().toString()));
  expectPopoverTranslated("cancel confirmation", data);
  model->dismissConfirmation();
  model->perform(MenuBarMenuCommand::signOut);
  expectPopoverTranslated("sign-out confirmation", data);
  model->dismissConfirmation();
  model->perform(MenuBarMenuCommand::quit);
  expectPopoverTranslated("quit confirmation", data);
  const auto status =
      menuBarStatusDescription(authentication->state(), menu_bar_indicator::Idle{}, store->state());
  expectTranslated("status item", {QString::fromStdString(status)}, {});
  // With a transfer queued: its count in the translation of the whole line.
  EXPECT_EQ(status, "[[[[Ready]], 1 queued]]");
}

// The onboarding window over a store in each sign-in state.
class OnboardingScene {
 public:
  OnboardingScene(const std::function<void(testing::AuthenticationStoreBench&)>& reach,
                  LaunchAtLoginSetting::Status status = LaunchAtLoginSetting::Status::disabled,
                  std::optional<std::string> failure = std::nullopt, bool trayPresent = true) {
    launchAtLogin->set(status, std::move(failure));
    reach(bench);
    model = std::make_unique<OnboardingViewModel>(
        OnboardingViewModel::Services{bench.store, launchAtLogin,
                                      std::make_shared<testing::FakeQuickDropPreference>(),
                                      std::make_shared<testing::RecordingAnnouncer>(), bench.queue,
                                      std::make_shared<testing::FakeTray>(trayPresent)},
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
  expectTranslated("signed in without a tray",
                   OnboardingScene(named, Status::disabled, std::nullopt, /*trayPresent=*/false).texts(translation),
                   {"Grace Hopper"});
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
  const auto failed = OnboardingScene(named, Status::disabled, LaunchAtLoginModel::failureText).texts(translation);
  expectTranslated("open at login failed", failed, {"Grace Hopper"});
  EXPECT_TRUE(failed.contains(pseudoTranslated(LaunchAtLoginModel::failureText))) << failed.join(" | ").toStdString();
}

// The island's views, compact and expanded, over the stores in each state of its previews.
TEST(IslandPseudoTranslationTest, EveryStateCompactAndExpanded) {
  Motion::shared()->setReduceMotion(true);
  PseudoTranslation translation;
  testing::island::IslandScene scene;
  const auto texts = [&](bool expanded) {
    scene.setExpanded(expanded);
    return translation.show(QStringLiteral(R"(
        import QtQuick
        import Tavrel.Island
        Item {
          id: frame
          width: 640; height: 300
          property QtObject model
          TransferIslandView { anchors.fill: parent; model: frame.model }
        })"),
                            {{"model", QVariant::fromValue<QObject*>(scene.viewModel.get())}},
                            [&] { scene.answerThumbnails(); });
  };
  // Returns the expanded view's texts. The hot key's glyphs are symbols, the same in every language.
  const auto expectBoth = [&](const std::string& state, QStringList data, const QStringList& shown = {}) {
    data << QStringLiteral("⌃⌘M");
    expectTranslated(state + ", compact", texts(false), data);
    const auto expanded = texts(true);
    expectTranslated(state + ", expanded", expanded, data, shown);
    scene.setExpanded(false);
    return expanded;
  };

  expectBoth("restoring", {});
  scene.signOut();
  expectBoth("signed out", {});
  scene.beginSignIn();
  expectBoth("authorizing", {});
  scene.becomeUnavailable();
  expectBoth("unavailable", {});
  scene.signIn(false);
  expectBoth("sending unavailable", {});
  scene.signIn(true);
  expectBoth("idle", {});
  scene.openChooser();
  expectBoth("chooser", {});
  scene.setDropTargeted(true);
  expectBoth("chooser, drop targeted", {});
  scene.setDropTargeted(false);
  scene.resetTransfers();

  const QStringList preparing{"Quarterly report.pdf", "Photos"};
  scene.reviewPreparing(preparing);
  expectBoth("review, preparing", preparing);
  scene.resetTransfers();
  const QStringList ready{"beach.png", "notes.txt", "clip.mov", "song.mp3", "deck.key", "archive.zip"};
  scene.reviewReady(ready);
  expectBoth("review, ready", ready, {"beach.png"});
  scene.resetTransfers();
  scene.reviewPreparationFailed({"locked.txt"});
  expectBoth("review, preparation failed", {"locked.txt"});
  scene.resetTransfers();
  scene.reviewFailedUpload(QStringLiteral("Holiday video.mov"));
  expectBoth("review, upload failed", {"Holiday video.mov", "The network went away."});
  scene.resetTransfers();

  const QStringList uploading{"Holiday video.mov", "beach.png", "notes.txt"};
  scene.uploading(uploading, 0.426, 1'250'000, 1);
  const auto upload = expectBoth("upload", uploading);
  // The file counter is translated whole, its numbers filled in.
  EXPECT_TRUE(upload.contains(QStringLiteral("[[2 of 3]]"))) << upload.join(" | ").toStdString();
  scene.resetTransfers();

  const QStringList completed{"Quarterly report.pdf", "beach.png"};
  scene.completeUpload(completed, 7, true);
  expectBoth("completion", completed);
  scene.store->send(transfer_action::CopyLink{});
  expectBoth("completion, link copied", completed);
  scene.expireCopyFeedback();
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
  // The share program's own pattern, with the link's name kept as it came.
  const ShareExtensionItemLoaderError link{ShareExtensionItemLoaderError::Kind::symbolicLink, "Shortcut to %2"};
  const auto linked = texts(Failed{link.localizedDescription(), items});
  expectTranslated("failed on a link", linked, names + QStringList{"Shortcut to %2"});
  EXPECT_TRUE(linked.contains(pseudoTranslated(
      QString::fromUtf8(ShareExtensionItemLoaderError::symbolicLinkPattern).arg(QStringLiteral("Shortcut to %2")))))
      << linked.join(" | ").toStdString();
}

}  // namespace
}  // namespace tavrel
