#include "island/notch_window_controller.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QRegion>
#include <QScreen>
#include <cstdlib>
#include <utility>
#include <xcb/xcb.h>

#include "island/window_shape.h"
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
  pendingPanelResize_.setSingleShot(true);
  connect(&pendingPanelResize_, &QTimer::timeout, this, &NotchWindowController::placePanel);
}

NotchWindowController::~NotchWindowController() {
  for (const auto& connection : screenObserver_) QObject::disconnect(connection);
  spaceObserver_.reset();
  pendingPanelResize_.stop();
  outsideClickMonitor_.stop();
  stateObserver_.reset();
  authenticationObserver_.reset();
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
  // A screen reader's press on the island counts as a click on it.
  connect(viewModel_.get(), &TransferIslandViewModel::pressRequested, containerView_.data(),
          &NotchDragDestinationView::press);

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
  if (auto* drawn = item->property("island").value<QQuickItem*>()) {
    // Follows the island as it springs, so that a clipped window still shows the whole motion.
    for (auto signal : {&QQuickItem::xChanged, &QQuickItem::yChanged, &QQuickItem::widthChanged,
                        &QQuickItem::heightChanged}) {
      connect(drawn, signal, this, &NotchWindowController::updateDrawRegion);
    }
  }
  followChanges();
}

void NotchWindowController::followChanges() {
  const auto refresh = [this] { islandChanged(); };
  stateObserver_ = store_.subscribe([refresh](const TransferFeatureState&) { refresh(); });
  authenticationObserver_ = authenticationStore_.subscribe([refresh](const AuthenticationState&) { refresh(); });
  connect(&presentation_, &QuickDropPresentationModel::islandChanged, this, refresh);
  connect(&layout_, &NotchLayoutModel::geometryChanged, this, refresh);

  // Screens come, go and change size; the island follows on the next turn, once for a burst.
  const auto replace = [this] {
    if (isPresented_) pendingPanelResize_.start(0);
  };
  screenObserver_.push_back(connect(qGuiApp, &QGuiApplication::screenAdded, this, [this, replace](QScreen* screen) {
    followScreen(screen);
    replace();
  }));
  screenObserver_.push_back(connect(qGuiApp, &QGuiApplication::screenRemoved, this, replace));
  screenObserver_.push_back(connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, replace));
  for (QScreen* screen : QGuiApplication::screens()) followScreen(screen);
  spaceObserver_ = std::make_unique<SpaceObserver>([this, replace] {
    replace();
    if (panel_->isVisible()) panel_->raise();
  });
}

void NotchWindowController::followScreen(QScreen* screen) {
  screenObserver_.push_back(connect(screen, &QScreen::geometryChanged, this, [this] {
    if (isPresented_) pendingPanelResize_.start(0);
  }));
}

void NotchWindowController::show() {
  build();
  isPresented_ = true;
  placePanel();
}

QRegion NotchWindowController::islandRegion() const {
  return containerView_ ? QRegion(containerView_->islandFrame().toAlignedRect()) : QRegion();
}

void NotchWindowController::placePanel() {
  pendingPanelResize_.stop();
  QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect screenFrame = screen ? screen->geometry() : QRect(0, 0, 1280, 800);
  const double topOffset = layout_.geometry() ? layout_.geometry()->topOffset : 0;
  // The panel always has the room of the expanded island and its shadow, so growing needs no move;
  // only the island itself takes input.
  const int width = static_cast<int>(NotchLayoutModel::expandedWidth + 2 * shadowMargin);
  const int height = static_cast<int>(NotchLayoutModel::expandedHeight + shadowMargin);
  panel_->setGeometry(screenFrame.center().x() - width / 2, screenFrame.top() + static_cast<int>(topOffset), width,
                      height);
  if (!containerView_) return;
  containerView_->setSize(QSizeF(width, height));
  if (islandView_) islandView_->setSize(QSizeF(width, height));
  containerView_->refreshFrame();

  const QRegion input = islandRegion();
  if (input.isEmpty() || !isPresented_) {
    // Nothing to show: an empty shape would take the whole window, so the window goes.
    panel_->setInputRegion(input);
    if (panel_->isVisible()) panel_->hide();
    return;
  }
  panel_->setInputRegion(input);
  compositor_ = window_shape::hasCompositor(*panel_);
  updateDrawRegion();
  if (!panel_->isVisible()) panel_->show();
}

void NotchWindowController::updateDrawRegion() {
  // With a compositor the window draws whole: the shadow and the spring show. Without one its
  // transparent pixels would show black, so it is clipped to the island as drawn.
  if (compositor_) {
    if (!panel_->mask().isEmpty()) panel_->setMask(QRegion());
    return;
  }
  const auto* drawn = islandView_ ? islandView_->property("island").value<QQuickItem*>() : nullptr;
  QRegion region = drawn ? QRegion(QRectF(drawn->mapToScene(QPointF(0, 0)), drawn->size()).toAlignedRect()) : QRegion();
  if (region.isEmpty()) region = panel_->inputRegion();
  if (!region.isEmpty() && region != panel_->mask()) panel_->setMask(region);
}

void NotchWindowController::islandChanged() {
  if (!isPresented_) return;
  if (!presentation_.isExpanded()) fold();
  if (!containerView_) return;
  containerView_->refreshFrame();
  const QRegion next = islandRegion();
  const QRegion& current = panel_->inputRegion();
  // A folding island keeps its presses until its spring has settled; growing takes them at once.
  const bool shrinks = !next.isEmpty() && next != current && next.subtracted(current).isEmpty();
  if (shrinks && panel_->isVisible()) {
    if (!pendingPanelResize_.isActive()) pendingPanelResize_.start(static_cast<int>(collapseSnapDelay * 1000));
    return;
  }
  placePanel();
}

void NotchWindowController::hide() {
  if (!isPresented_ && !panel_->isVisible()) return;
  isPresented_ = false;
  expandedForDrag_ = false;
  presentation_.setIsland(IslandPresentation::compact);
  presentation_.setIsDropTargeted(false);
  pendingPanelResize_.stop();
  outsideClickMonitor_.stop();
  panel_->setAllowsKeyWindow(false);
  panel_->hide();
}

void NotchWindowController::collapse() {
  if (!isPresented_) return;
  expandedForDrag_ = false;
  presentation_.setIsland(IslandPresentation::compact);
  presentation_.setIsDropTargeted(false);
  fold();
}

void NotchWindowController::fold() {
  outsideClickMonitor_.stop();
  panel_->setAllowsKeyWindow(false);
}

void NotchWindowController::expand(bool takesFocus) {
  if (!presentation_.isExpanded()) {
    if (onWillExpand_) onWillExpand_();
    // An idle island has no page of its own: expanding it opens the chooser.
    if (isIdle(store_.state().phase)) store_.send(transfer_action::OpenChooser{});
    presentation_.setIsland(IslandPresentation::expanded);
  }
  // A click asks for the keyboard (Escape, the page's buttons); a drag from another program does not.
  if (takesFocus && isPresented_) {
    panel_->setAllowsKeyWindow(true);
    panel_->requestActivate();
    window_shape::takeKeyboardFocus(*panel_);
  }
  if (!outsideClickMonitor_.isArmed()) {
    outsideClickMonitor_.start(
        [this](QPoint global) { return islandRegion().translated(panel_->position()).contains(global); },
        [this] { collapse(); });
  }
}

void NotchWindowController::sendDrop(std::vector<std::filesystem::path> urls, bool forDrag) {
  const auto& phase = store_.state().phase;
  // Onto a review: the files join the selection. Onto a chooser the user opened: they start a review,
  // as picked files do. Onto the folded island: they go up at once, as on the menu bar.
  if (reviewState(phase) || (isChoosing(phase) && !forDrag)) {
    store_.send(transfer_action::SelectedURLs{std::move(urls), TransferStartPolicy::requiresReview});
  } else {
    store_.send(transfer_action::EnqueueURLs{std::move(urls), TransferStartPolicy::automatic});
  }
}

void NotchWindowController::handle(const NotchInteraction& interaction) {
  namespace ni = notch_interaction;
  if (const auto* dropped = std::get_if<ni::Dropped>(&interaction)) {
    const bool forDrag = std::exchange(expandedForDrag_, false);
    presentation_.setIsDropTargeted(false);
    sendDrop(dropped->urls, forDrag);
  } else if (std::holds_alternative<ni::Click>(interaction)) {
    const auto& state = authenticationStore_.state();
    if (std::holds_alternative<authentication_state::SignedOut>(state)) {
      authenticationStore_.signIn();
    } else if (std::holds_alternative<authentication_state::TemporarilyUnavailable>(state)) {
      authenticationStore_.retry();
    } else if (authenticationStore_.canInitiateTransfer()) {
      expandedForDrag_ = false;
      expand(true);
    }
  } else if (std::holds_alternative<ni::CollapseRequested>(interaction)) {
    collapse();
  } else if (std::holds_alternative<ni::ValidDragEntered>(interaction)) {
    presentation_.setIsDropTargeted(true);
    if (!presentation_.isExpanded()) {
      expandedForDrag_ = true;
      expand(false);
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

NotchWindowController::SpaceObserver::SpaceObserver(std::function<void()> onChange) : onChange_(std::move(onChange)) {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return;
  static constexpr char name[] = "_NET_CURRENT_DESKTOP";
  auto* atom = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
  if (!atom) return;
  currentDesktopAtom_ = atom->atom;
  std::free(atom);
  // Add property changes to what this program hears from the root, keeping what it already hears.
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  auto* attributes =
      xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root), nullptr);
  const uint32_t mask = (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
  std::free(attributes);
  xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection);
  qGuiApp->installNativeEventFilter(this);
}

NotchWindowController::SpaceObserver::~SpaceObserver() {
  if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

bool NotchWindowController::SpaceObserver::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (currentDesktopAtom_ == 0 || eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
  if (static_cast<const xcb_property_notify_event_t*>(message)->atom == currentDesktopAtom_ && onChange_) onChange_();
  return false;
}

}  // namespace tavrel
