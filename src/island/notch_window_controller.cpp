#include "island/notch_window_controller.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QRegion>
#include <QScreen>
#include <utility>

#include "platform/logger.h"

namespace tavrel {

NotchWindowController::NotchWindowController(TransferStore& store, NotchLayoutModel& layout,
                                             QuickDropPresentationModel& presentation,
                                             AuthenticationStore& authenticationStore,
                                             std::function<void()> onWillExpand, QQmlEngine& engine, QObject* parent)
    : QObject(parent),
      store_(store),
      layout_(layout),
      presentation_(presentation),
      authenticationStore_(authenticationStore),
      onWillExpand_(std::move(onWillExpand)),
      engine_(engine),
      panel_(std::make_unique<NotchPanel>()) {
  panel_->setTitle(QStringLiteral("Tavrel"));
  // Escape clears a selection under review, as its secondary button does; elsewhere it folds the island.
  panel_->onEscape = [this] {
    if (viewModel_ && viewModel_->islandContentValue() == IslandContent::review) {
      viewModel_->clearSelection();
    } else {
      collapse();
    }
  };
}

NotchWindowController::~NotchWindowController() {
  stateObserver_.reset();
  authenticationObserver_.reset();
  QObject::disconnect(screenObserver_);
  // The items go with the panel, before the models they bind to.
  delete islandView_.data();
  delete containerView_.data();
  panel_.reset();
}

void NotchWindowController::setThumbnailGenerator(platform::MainQueue& mainQueue,
                                                  std::shared_ptr<platform::ThumbnailGenerating> generator) {
  thumbnailQueue_ = &mainQueue;
  thumbnailGenerator_ = std::move(generator);
  if (viewModel_) viewModel_->setThumbnailGenerator(mainQueue, thumbnailGenerator_);
}

void NotchWindowController::build() {
  if (containerView_) return;
  destination_ = std::make_unique<NotchDragDestination>(store_, layout_, presentation_, authenticationStore_,
                                                        [this](const NotchInteraction& interaction) { handle(interaction); });
  viewModel_ = std::make_unique<TransferIslandViewModel>(store_, layout_, presentation_, authenticationStore_,
                                                         [this] { collapse(); });
  if (thumbnailQueue_) viewModel_->setThumbnailGenerator(*thumbnailQueue_, thumbnailGenerator_);
  containerView_ = new NotchDragDestinationView(panel_->contentItem());
  containerView_->setObjectName(QStringLiteral("notchDragDestination"));
  containerView_->setDestination(destination_.get());

  QQmlComponent component(&engine_);
  component.setData("import Tavrel.Island\nTransferIslandView {}\n", QUrl(QStringLiteral("qrc:/island/panel.qml")));
  auto* item = component.isReady() ? qobject_cast<QQuickItem*>(component.createWithInitialProperties(
                                         {{QStringLiteral("model"), QVariant::fromValue<QObject*>(viewModel_.get())}}))
                                   : nullptr;
  if (!item) {
    platform::Logger("com.tavrel.desktop", "Island")
        .error("The island's view did not load: {}", platform::publicArg(component.errorString().toStdString()));
    return;
  }
  item->setParentItem(containerView_);
  islandView_ = item;
  followChanges();
}

void NotchWindowController::followChanges() {
  const auto refresh = [this] {
    if (!isPresented_) return;
    placePanel();
  };
  stateObserver_ = store_.subscribe([refresh](const TransferFeatureState&) { refresh(); });
  authenticationObserver_ = authenticationStore_.subscribe([refresh](const AuthenticationState&) { refresh(); });
  connect(&presentation_, &QuickDropPresentationModel::islandChanged, this, refresh);
  connect(&layout_, &NotchLayoutModel::geometryChanged, this, refresh);
  screenObserver_ = connect(qGuiApp, &QGuiApplication::screenRemoved, this, refresh);
}

void NotchWindowController::show() {
  build();
  isPresented_ = true;
  placePanel();
  panel_->show();
}

void NotchWindowController::placePanel() {
  QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect screenFrame = screen ? screen->geometry() : QRect(0, 0, 1280, 800);
  const double topOffset = layout_.geometry() ? layout_.geometry()->topOffset : 0;
  // The panel always has the room of the expanded island, so growing needs no move; only the
  // island itself takes input.
  const int width = static_cast<int>(NotchLayoutModel::expandedWidth + 2 * shadowMargin);
  const int height = static_cast<int>(NotchLayoutModel::expandedHeight + shadowMargin);
  panel_->setGeometry(screenFrame.center().x() - width / 2, screenFrame.top() + static_cast<int>(topOffset), width,
                      height);
  if (containerView_) {
    containerView_->setSize(QSizeF(width, height));
    if (islandView_) islandView_->setSize(QSizeF(width, height));
    containerView_->refreshFrame();
    panel_->setMask(QRegion(containerView_->islandFrame().toAlignedRect()));
  }
}

void NotchWindowController::hide() {
  if (!isPresented_ && !panel_->isVisible()) return;
  isPresented_ = false;
  expandedForDrag_ = false;
  presentation_.setIsland(IslandPresentation::compact);
  presentation_.setIsDropTargeted(false);
  panel_->setAllowsKeyWindow(false);
  panel_->hide();
}

void NotchWindowController::collapse() {
  if (!isPresented_) return;
  expandedForDrag_ = false;
  presentation_.setIsland(IslandPresentation::compact);
  presentation_.setIsDropTargeted(false);
}

void NotchWindowController::expand() {
  if (presentation_.isExpanded()) return;
  if (onWillExpand_) onWillExpand_();
  // An idle island has no page of its own: expanding it opens the chooser.
  if (isIdle(store_.state().phase)) store_.send(transfer_action::OpenChooser{});
  presentation_.setIsland(IslandPresentation::expanded);
}

void NotchWindowController::handle(const NotchInteraction& interaction) {
  namespace ni = notch_interaction;
  if (const auto* dropped = std::get_if<ni::Dropped>(&interaction)) {
    expandedForDrag_ = false;
    presentation_.setIsDropTargeted(false);
    store_.send(transfer_action::EnqueueURLs{dropped->urls, TransferStartPolicy::automatic});
  } else if (std::holds_alternative<ni::Click>(interaction)) {
    const auto& state = authenticationStore_.state();
    if (std::holds_alternative<authentication_state::SignedOut>(state)) {
      authenticationStore_.signIn();
    } else if (std::holds_alternative<authentication_state::TemporarilyUnavailable>(state)) {
      authenticationStore_.retry();
    } else if (authenticationStore_.canInitiateTransfer()) {
      expandedForDrag_ = false;
      expand();
    }
  } else if (std::holds_alternative<ni::CollapseRequested>(interaction)) {
    collapse();
  } else if (std::holds_alternative<ni::ValidDragEntered>(interaction)) {
    presentation_.setIsDropTargeted(true);
    if (!presentation_.isExpanded()) {
      expandedForDrag_ = true;
      expand();
    }
  } else if (std::holds_alternative<ni::DragExited>(interaction)) {
    presentation_.setIsDropTargeted(false);
    if (std::exchange(expandedForDrag_, false)) {
      // The drag opened the chooser on its way in; it closes again on its way out.
      if (isChoosing(store_.state().phase)) store_.send(transfer_action::CloseChooser{});
      presentation_.setIsland(IslandPresentation::compact);
    }
  }
}

}  // namespace tavrel
