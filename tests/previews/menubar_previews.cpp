#include <QApplication>
#include <QMenu>
#include <QQuickItem>
#include <QStyle>
#include <QStyleFactory>
#include <QtQml/qqmlextensionplugin.h>

#include "controls/file_type_icon.h"
#include "controls/motion.h"
#include "menubar/menu_bar_test_fixture.h"
#include "menubar/popover_drop_target.h"
#include "menubar/transfer_popover_view_model.h"
#include "previews/preview_canvas.h"

Q_IMPORT_QML_PLUGIN(Tavrel_MenuBarPlugin)

namespace {

using namespace tavrel;

// The real stores on fakes, brought to a state, behind one popover model.
class Scene final : public tavrel::testing::MenuBarStoresTest {
 public:
  Scene() {
    model = std::make_unique<TransferPopoverViewModel>(
        *store, *recent, *authentication, settings, drag, *queue,
        TransferPopoverViewModel::callbacks(recorded.actions(), [] {}),
        [](const std::vector<std::string>& types, std::int64_t count, const std::string& name) {
          return FileTypeIcon::symbolName(types, static_cast<int>(count), name);
        },
        [this] { return wallClock; });
  }
  ~Scene() override { model.reset(); }
  void TestBody() override {}

  // `focused`: the objectName of a control to give the keyboard focus, as a Tab would.
  void render(previews::PreviewCanvas& canvas, const QString& name, const QString& focused = {}) {
    settle();
    if (!focused.isEmpty()) {
      canvas.prepare = [focused](QQuickItem& view) {
        // Repeater rows are not QObject children of the view: search the item tree.
        QList<QQuickItem*> pending{&view};
        while (!pending.isEmpty()) {
          auto* item = pending.takeFirst();
          // A hidden section's copy of the control cannot take the focus: the first one shown does.
          if (item->objectName() == focused && item->isVisible()) {
            item->forceActiveFocus(Qt::TabFocusReason);
            return;
          }
          pending.append(item->childItems());
        }
      };
    }
    model->appeared();
    canvas.settle = [this] { settle(); };
    canvas.render(name, QStringLiteral(R"(
        import QtQuick
        import Tavrel.MenuBar
        TransferPopoverView {})"),
                  {{"model", QVariant::fromValue<QObject*>(model.get())}},
                  QSize(model->contentWidth(), model->contentHeight()), Qt::black);
  }

  void uploadWithFigures(double fraction, std::int64_t rate) {
    UploadProgressSnapshot snapshot;
    snapshot.preparedTransfer = engine->lastRun().input.preparedTransfer;
    snapshot.preparedTransfer.edit().files.edit([](auto& files) { files[0].size = 48'000'000; });
    snapshot.bytesUploaded = static_cast<std::int64_t>(48'000'000 * fraction);
    snapshot.bytesPerSecond = rate;
    snapshot.progress = fraction;
    snapshot.currentFileIndex = 0;
    engine->progress(snapshot);
    settle();
  }

  void loadFiveRecent() {
    std::vector<RecentTransfer> transfers;
    const char* titles[] = {"Quarterly report.pdf", "Holiday photos", "Design review & notes", "demo.mov", "<b>raw</b>"};
    for (int i = 0; i < 5; ++i) {
      auto transfer = recentTransfer("t" + std::to_string(i), titles[i], i == 1 ? 1'234 : 1, "slug");
      transfer.createdAt = wallClock - std::chrono::minutes(7 + 95 * i * i);
      transfer.totalBytes = 1'234'567LL * (i + 1) * (i + 1);
      if (i == 1) transfer.mimeType = "image/jpeg";
      transfers.push_back(std::move(transfer));
    }
    loadRecent(std::move(transfers));
  }

  MenuBarDragPresentationModel drag;
  std::unique_ptr<TransferPopoverViewModel> model;
};

QPalette darkMenuPalette() {
  QPalette palette;
  palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
  palette.setColor(QPalette::Base, QColor(0x2b, 0x2b, 0x2b));
  palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
  palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
  palette.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
  palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
  palette.setColor(QPalette::Light, QColor(0x40, 0x40, 0x40));  // what disabled text is etched with
  return palette;
}

// The ellipsis menu as the desktop draws it, open, in the palette given, with one row highlighted.
void renderMenu(previews::PreviewCanvas& canvas, TransferPopoverViewModel& model, const QString& name,
                const QPalette& palette) {
  const auto saved = QApplication::palette();
  QApplication::setPalette(palette);
  std::unique_ptr<QMenu> menu(model.buildMenu());
  menu->popup(QPoint(0, 0));
  const auto actions = menu->actions();
  for (auto* action : actions) {
    if (action->isEnabled() && !action->isSeparator()) {
      menu->setActiveAction(action);
      break;
    }
  }
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  canvas.write(name, menu->grab().toImage());
  menu->hide();
  QApplication::setPalette(saved);
}

}  // namespace

TAVREL_PREVIEWS(menubar) {
  Motion::shared()->setReduceMotion(true);
  {
    Scene scene;
    scene.render(canvas, "popover-restoring");
  }
  {
    Scene scene;
    scene.signOut();
    scene.render(canvas, "popover-signed-out");
    scene.beginSignIn();
    scene.render(canvas, "popover-authorizing");
  }
  {
    Scene scene;
    scene.becomeUnavailable();
    scene.render(canvas, "popover-unavailable");
  }
  {
    Scene scene;
    scene.signIn(false);
    scene.render(canvas, "popover-sending-unavailable");
  }
  {
    Scene scene;
    scene.signIn();
    scene.render(canvas, "popover-empty");
    scene.render(canvas, "focused-upload-files", QStringLiteral("uploadFiles"));
    scene.render(canvas, "focused-menu-button", QStringLiteral("menuButton"));
    scene.settings.set(LaunchAtLoginStatus::enabled);
    scene.settle();
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    renderMenu(canvas, *scene.model, "menu-signed-in-light", fusion->standardPalette());
    renderMenu(canvas, *scene.model, "menu-signed-in-dark", darkMenuPalette());
    scene.recent->refresh(true);
    scene.render(canvas, "popover-loading-recent");
    scene.recentAPI->answer(TransferAPIError::transportUnavailable());
    scene.render(canvas, "popover-recent-error");
    scene.render(canvas, "focused-recent-retry", QStringLiteral("retryRecent"));
  }
  {
    Scene scene;
    scene.signIn();
    scene.loadFiveRecent();
    scene.render(canvas, "popover-recent");
    scene.render(canvas, "focused-recent-row", QStringLiteral("recentRowButton"));
    scene.render(canvas, "focused-copy-link", QStringLiteral("copyButton"));
    scene.render(canvas, "focused-view-all", QStringLiteral("trailingButton"));
    scene.model->copyRecentLink("t0");
    scene.render(canvas, "popover-recent-copied");
  }
  {
    Scene scene;
    scene.signIn();
    scene.failUploading("contract-final.pdf", "The network connection was lost.");
    scene.store->send(transfer_action::DismissCompletedTransfer{});
    scene.startPreparing("Holiday photos");
    scene.enqueue("invoice.pdf");
    scene.settle();
    scene.render(canvas, "popover-activity-preparing-queued-failed");
    scene.render(canvas, "focused-cancel-preparation", QStringLiteral("actionButton"));
  }
  {
    Scene scene;
    scene.signIn();
    scene.reviewReady("presentation.key");
    scene.render(canvas, "popover-activity-ready");
    scene.render(canvas, "focused-ready-cancel", QStringLiteral("readyCancel"));
    scene.render(canvas, "focused-ready-start", QStringLiteral("startButton"));
  }
  {
    Scene scene;
    scene.signIn();
    scene.startUploading("launch-video.mov");
    scene.uploadWithFigures(0.42, 3'400'000);
    scene.enqueue("notes.txt");
    scene.settle();
    scene.loadFiveRecent();
    scene.render(canvas, "popover-uploading-with-recent");
    scene.drag.setDropTargeted(true);
    scene.render(canvas, "popover-drop-overlay");
    scene.drag.setDropTargeted(false);
    scene.model->cancelItem(QString::fromStdString(scene.itemIDs.front().toString()));
    scene.render(canvas, "confirmation-cancel-upload");
    scene.render(canvas, "focused-confirmation-destructive", QStringLiteral("confirmationDestructive"));
    scene.model->dismissConfirmation();
    scene.model->perform(MenuBarMenuCommand::signOut);
    scene.render(canvas, "confirmation-sign-out");
    scene.model->dismissConfirmation();
    scene.model->perform(MenuBarMenuCommand::quit);
    scene.render(canvas, "confirmation-quit");
  }
  {
    Scene scene;
    scene.signIn();
    scene.startUploading("Brand assets.zip");
    scene.completeUpload();
    scene.render(canvas, "popover-completed");
  }
  {
    Scene scene;
    scene.signIn();
    scene.startUploading("one-percent.bin");
    scene.uploadWithFigures(0.004, 0);
    scene.render(canvas, "popover-uploading-calculating");
  }
}
