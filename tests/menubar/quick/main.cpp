#include <QMimeData>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include "controls/motion.h"
#include "menubar/menu_bar_test_fixture.h"
#include "menubar/popover_drop_target.h"
#include "menubar/transfer_popover_view_model.h"
#include "qt_support/quick_test_driver.h"

namespace {

using namespace tavrel;

// The real stores on fakes behind one popover model, driven from the QML tests as `scene`.
class Stores final : public tavrel::testing::MenuBarStoresTest {
  void TestBody() override {}
};

class PopoverScene : public QObject {
  Q_OBJECT
  Q_PROPERTY(QObject* model READ model NOTIFY rebuilt)
  Q_PROPERTY(QObject* dropTarget READ dropTarget NOTIFY rebuilt)
  Q_PROPERTY(QStringList calls READ calls)

 public:
  QObject* model() { return model_.get(); }
  QObject* dropTarget() { return dropTarget_.get(); }
  QStringList calls() const {
    QStringList calls;
    for (const auto& call : stores_->recorded.calls) calls << QString::fromStdString(call);
    return calls;
  }

  // A fresh set of stores, signed out.
  Q_INVOKABLE void reset() {
    model_.reset();
    dropTarget_.reset();
    stores_ = std::make_unique<Stores>();
    model_ = std::make_unique<TransferPopoverViewModel>(
        *stores_->store, *stores_->recent, *stores_->authentication, stores_->settings, drag_, *stores_->queue,
        TransferPopoverViewModel::callbacks(stores_->recorded.actions(),
                                            [this] { stores_->recorded.calls.push_back("close"); }),
        [](const std::vector<std::string>&, std::int64_t, const std::string&) { return std::string("doc"); },
        [this] { return stores_->wallClock; });
    dropTarget_ = std::make_unique<PopoverDropTarget>(PopoverDropTarget::Callbacks{
        [this] { return stores_->authentication->canInitiateTransfer(); },
        [this](bool targeted) { drag_.setDropTargeted(targeted); },
        [this](std::vector<std::filesystem::path> urls) {
          drag_.setDropTargeted(false);
          stores_->store->send(transfer_action::EnqueueURLs{std::move(urls), TransferStartPolicy::automatic});
          stores_->recorded.calls.push_back("enqueue:" + std::to_string(stores_->store->state().queue.size() +
                                                                       (stores_->store->state().currentTransferID ? 1 : 0)));
        }});
    drag_.setDropTargeted(false);
    drag_.setRevealedTransferID(std::nullopt);
    emit rebuilt();
  }
  // Drops the stores at the end of the run.
  void release() {
    model_.reset();
    dropTarget_.reset();
    stores_.reset();
  }
  Q_INVOKABLE void signOut() { stores_->signOut(); }
  Q_INVOKABLE void signIn(bool canSend = true) { stores_->signIn(canSend); }
  Q_INVOKABLE void becomeUnavailable() { stores_->becomeUnavailable(); }
  Q_INVOKABLE QString startPreparing(const QString& name) { return text(stores_->startPreparing(name.toStdString())); }
  Q_INVOKABLE QString reviewReady(const QString& name) { return text(stores_->reviewReady(name.toStdString())); }
  Q_INVOKABLE QString startUploading(const QString& name) { return text(stores_->startUploading(name.toStdString())); }
  Q_INVOKABLE QString enqueue(const QString& name) {
    const auto id = stores_->enqueue(name.toStdString());
    stores_->settle();
    return text(id);
  }
  Q_INVOKABLE QString failUploading(const QString& name) {
    const auto id = text(stores_->failUploading(name.toStdString()));
    stores_->store->send(transfer_action::DismissCompletedTransfer{});
    return id;
  }
  Q_INVOKABLE void progress(double fraction) {
    stores_->engine->progress(fraction);
    stores_->settle();
  }
  Q_INVOKABLE void completeUpload() { stores_->completeUpload(); }
  Q_INVOKABLE void loadRecent(int count) {
    std::vector<RecentTransfer> transfers;
    for (int i = 0; i < count; ++i) {
      const auto n = std::to_string(i + 1);
      transfers.push_back(tavrel::testing::MenuBarStoresTest::recentTransfer("t" + n, "Transfer " + n, i + 1, "slug-" + n));
    }
    stores_->loadRecent(std::move(transfers));
  }
  Q_INVOKABLE void failRecentLoad() {
    stores_->recent->refresh(true);
    stores_->recentAPI->answer(TransferAPIError::transportUnavailable());
    stores_->settle();
  }
  Q_INVOKABLE void reveal(const QString& id) { drag_.setRevealedTransferID(TransferItemID::parse(id.toStdString())); }
  Q_INVOKABLE void settle() { stores_->settle(); }
  Q_INVOKABLE int pickerRequests() const { return static_cast<int>(stores_->picker->requests().size()); }
  Q_INVOKABLE bool isUploading() const { return activeUpload(stores_->store->state().phase) != nullptr; }
  Q_INVOKABLE int queued() const { return static_cast<int>(stores_->store->state().queue.size()); }
  Q_INVOKABLE QUrl writeFile(const QString& name) {
    return QUrl::fromLocalFile(QString::fromStdString(stores_->directory.writeFile(name.toStdString(), "x").string()));
  }
  Q_INVOKABLE void advance(int milliseconds) { stores_->queue->advance(std::chrono::milliseconds(milliseconds)); }

  // A file drag from another program: enter, move and drop on the window at `position`, carrying
  // the files as a URI list. Returns whether the drop was taken.
  Q_INVOKABLE bool dragAndDrop(QQuickItem* item, const QList<QUrl>& urls, bool drop = true) {
    auto* window = item->window();
    const auto position = item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(position, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(position, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    if (!drop) {
      QDragLeaveEvent leave;
      QCoreApplication::sendEvent(window, &leave);
      return false;
    }
    // The source offers a move as well; only a copy counts as taken.
    QDropEvent dropped(position, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &dropped);
    return dropped.isAccepted() && dropped.dropAction() == Qt::CopyAction;
  }
  // Whether the last drag was over the popover when it moved.
  Q_INVOKABLE bool isDropTargeted() const { return drag_.isDropTargeted(); }

 signals:
  void rebuilt();

 private:
  static QString text(const TransferItemID& id) { return QString::fromStdString(id.toString()); }

  MenuBarDragPresentationModel drag_;
  std::unique_ptr<Stores> stores_;
  std::unique_ptr<TransferPopoverViewModel> model_;
  std::unique_ptr<PopoverDropTarget> dropTarget_;
};

class Setup : public tavrel::testing::QuickTestSetup {
 protected:
  void engineReady(QQmlEngine& engine) override {
    engine.rootContext()->setContextProperty(QStringLiteral("scene"), &scene_);
  }
  void cleanUp() override { scene_.release(); }

 private:
  PopoverScene scene_;
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_MenuBarPlugin)

QUICK_TEST_MAIN_WITH_SETUP(menubar, Setup)

#include "main.moc"
