#include "menubar/menu_bar_controller.h"

#include <QCoreApplication>
#include <cmath>

#include "controls/file_type_icon.h"
#include "controls/motion.h"
#include "menubar/live_menu_bar_surfaces.h"
#include "menubar/popover_height.h"
#include "ui/assets.h"

namespace tavrel {
namespace {

namespace auth = authentication_state;
namespace indicator = menu_bar_indicator;

}  // namespace

std::string menuBarStatusDescription(const AuthenticationState& authentication, const MenuBarTransferIndicator& icon,
                                     const TransferFeatureState& state) {
  if (std::holds_alternative<auth::Restoring>(authentication)) {
    return QCoreApplication::translate("MenuBarStatus", "Connecting").toStdString();
  }
  if (std::holds_alternative<auth::SignedOut>(authentication)) {
    return QCoreApplication::translate("MenuBarStatus", "Sign in required").toStdString();
  }
  if (std::holds_alternative<auth::Authorizing>(authentication)) {
    return QCoreApplication::translate("MenuBarStatus", "Signing in").toStdString();
  }
  if (std::holds_alternative<auth::TemporarilyUnavailable>(authentication)) {
    return QCoreApplication::translate("MenuBarStatus", "Can’t connect to Tavrel").toStdString();
  }
  std::string text;
  if (const auto* uploading = std::get_if<indicator::Uploading>(&icon)) {
    text = QCoreApplication::translate("MenuBarStatus", "Uploading, %1 percent")
               .arg(uploading->percentage)
               .toStdString();
  } else if (std::holds_alternative<indicator::Idle>(icon)) {
    //: The tray icon's description while signed in and nothing is being sent.
    text = canInitiateTransfer(authentication)
               ? QCoreApplication::translate("MenuBarStatus", "Ready").toStdString()
               : QCoreApplication::translate("MenuBarStatus", "Sending unavailable").toStdString();
  } else if (std::holds_alternative<indicator::Preparing>(icon)) {
    text = QCoreApplication::translate("MenuBarStatus", "Preparing files").toStdString();
  } else if (std::holds_alternative<indicator::Ready>(icon)) {
    text = QCoreApplication::translate("MenuBarStatus", "Ready to upload").toStdString();
  } else if (std::holds_alternative<indicator::Failed>(icon)) {
    text = QCoreApplication::translate("MenuBarStatus", "Transfer failed").toStdString();
  } else {
    text = QCoreApplication::translate("MenuBarStatus", "Transfer complete").toStdString();
  }
  if (!state.failures.empty() && !std::holds_alternative<indicator::Failed>(icon)) {
    const auto failed = static_cast<int>(state.failures.size());
    //: The status item's description (%1, as in "Uploading, 42 percent") and how many transfers failed.
    text = QCoreApplication::translate("MenuBarStatus", "%1, %n failed", nullptr, failed)
               .arg(QString::fromStdString(text))
               .toStdString();
  }
  if (!state.queue.empty()) {
    const auto queued = static_cast<int>(state.queue.size());
    //: The status item's description (%1, as in "Uploading, 42 percent") and how many transfers wait their turn.
    text = QCoreApplication::translate("MenuBarStatus", "%1, %n queued", nullptr, queued)
               .arg(QString::fromStdString(text))
               .toStdString();
  }
  return text;
}

MenuBarController::MenuBarController(TransferStore& store, RecentTransfersStore& recentTransfersStore,
                                     AuthenticationStore& authenticationStore, MenuBarSettings& settings,
                                     MenuBarControllerActions actions, platform::MainQueue& mainQueue)
    : MenuBarController(store, recentTransfersStore, authenticationStore, settings, std::move(actions), mainQueue,
                        Surfaces{makeSystemTrayStatusItem(), makeQuickPopoverWindow,
                                 [](const std::vector<std::string>& types, std::int64_t count, const std::string& name) {
                                   return FileTypeIcon::symbolName(types, static_cast<int>(std::clamp<std::int64_t>(count, 0, 1 << 30)), name);
                                 },
                                 nullptr}) {}

MenuBarController::MenuBarController(TransferStore& store, RecentTransfersStore& recentTransfersStore,
                                     AuthenticationStore& authenticationStore, MenuBarSettings& settings,
                                     MenuBarControllerActions actions, platform::MainQueue& mainQueue,
                                     Surfaces surfaces)
    : store_(store),
      recentTransfersStore_(recentTransfersStore),
      authenticationStore_(authenticationStore),
      settings_(settings),
      actions_(std::move(actions)),
      mainQueue_(mainQueue),
      renderer_(ui::renderAsset("MenuBarMark", QSize(72, 72))),
      statusItem_(std::move(surfaces.statusItem)) {
  configureStatusItem();
  configurePopover(surfaces);
  installObservers();
}

MenuBarController::~MenuBarController() {
  lifetime_.reset();
  if (resizeTask_) resizeTask_->cancel();
  if (preparationTask_) preparationTask_->cancel();
  observers_.clear();
  disconnect(reduceMotionConnection_);
  monitor_.stop();
  if (!isInvalidated_ && statusItem_) statusItem_->remove();
  // The window goes before the models it shows.
  popover_.reset();
}

platform::DelayedTask MenuBarController::later(platform::Duration delay, std::function<void()> task) {
  return mainQueue_.postDelayed(delay, [weak = std::weak_ptr(lifetime_), task = std::move(task)] {
    if (weak.lock()) task();
  });
}

void MenuBarController::post(std::function<void()> task) {
  mainQueue_.post([weak = std::weak_ptr(lifetime_), task = std::move(task)] {
    if (weak.lock()) task();
  });
}

bool MenuBarController::reduceMotion() const { return Motion::shared()->reduceMotion(); }

void MenuBarController::configureStatusItem() {
  if (!statusItem_) return;
  statusItem_->onActivated = [this] {
    iconPressPoint_ = statusItem_->pointerPosition();
    togglePopover();
  };
  statusItem_->onChanged = [this] {
    iconPressPoint_.reset();  // a tray host that came again may sit elsewhere
    post([this] {
      if (!isInvalidated_) updateStatusItem(true);
    });
  };
  updateStatusItem(true);
}

void MenuBarController::configurePopover(Surfaces& surfaces) {
  dropTarget_ = std::make_unique<PopoverDropTarget>(PopoverDropTarget::Callbacks{
      [this] { return canAcceptDrop(); }, [this](bool targeted) { popoverDropTargetChanged(targeted); },
      [this](std::vector<std::filesystem::path> urls) { popoverDidReceiveDrop(std::move(urls)); }});
  popoverModel_ = std::make_unique<TransferPopoverViewModel>(
      store_, recentTransfersStore_, authenticationStore_, settings_, dragPresentation_, mainQueue_,
      TransferPopoverViewModel::callbacks(actions_, [this] { closePopover(); }), std::move(surfaces.symbolNaming),
      surfaces.now ? std::move(surfaces.now) : [] { return std::chrono::system_clock::now(); });
  // Our menu is a window of its own and a confirmation waits for an answer: neither may be closed
  // away by the monitor.
  connect(popoverModel_.get(), &TransferPopoverViewModel::menuOpenChanged, this, [this] { startOutsideClickMonitor(); });
  connect(popoverModel_.get(), &TransferPopoverViewModel::confirmationChanged, this,
          [this] { startOutsideClickMonitor(); });
  if (surfaces.makePopoverWindow) popover_ = surfaces.makePopoverWindow(*popoverModel_, *dropTarget_);
  if (popover_) popover_->onClosed = [this] { popoverDidClose(); };
  applyPopoverContentSize(false);
}

void MenuBarController::installObservers() {
  observers_.push_back(store_.subscribe([this](const TransferFeatureState&) { transferStateChanged(); },
                                        platform::Delivery::removeDuplicates));
  observers_.push_back(authenticationStore_.subscribe([this](const AuthenticationState&) { authenticationStateChanged(); },
                                                      platform::Delivery::removeDuplicates));
  observers_.push_back(recentTransfersStore_.transfers().subscribe([this](const auto&) { schedulePopoverSizeUpdate(); }));
  observers_.push_back(recentTransfersStore_.isLoading().subscribe([this](const auto&) { schedulePopoverSizeUpdate(); }));
  observers_.push_back(
      recentTransfersStore_.hasCompleteSnapshot().subscribe([this](const auto&) { schedulePopoverSizeUpdate(); }));
  observers_.push_back(recentTransfersStore_.errorMessage().subscribe([this](const auto&) { schedulePopoverSizeUpdate(); }));
  reduceMotionConnection_ = connect(Motion::shared(), &Motion::reduceMotionChanged, this, [this] {
    post([this] { updateStatusItem(true); });
  });
}

void MenuBarController::transferStateChanged() {
  schedulePopoverSizeUpdate();
  updateStatusItem(false);
  startOutsideClickMonitor();
}

void MenuBarController::authenticationStateChanged() {
  // A popover opened while the session was still connecting would otherwise never list the recent
  // transfers: they load as it opens, and only while signed in.
  const bool signedIn = std::holds_alternative<auth::Authenticated>(authenticationStore_.state());
  if (signedIn && !wasSignedIn_ && isPopoverShown()) recentTransfersStore_.refresh(false);
  wasSignedIn_ = signedIn;
  schedulePopoverSizeUpdate();
  updateStatusItem(false);
}

void MenuBarController::updateStatusItem(bool force) {
  const auto indicator = menuBarTransferIndicator(store_.state(), acknowledged_);
  const bool changed = !displayedIndicator_ || *displayedIndicator_ != indicator;
  displayedIndicator_ = indicator;
  if (changed || force) {
    updatePreparationAnimation(indicator);
    if (statusItem_ && statusItem_->isAvailable()) {
      if (const QColor color = statusItem_->iconColor(); color != renderer_.color()) {
        renderer_ = MenuBarStatusIconRenderer(renderer_.baseImage(), color);
      }
      statusItem_->setIcon(renderer_.icon(indicator, preparationAnimationFrame_, reduceMotion()));
    }
  }
  updateStatusDescription(indicator);
}

void MenuBarController::updatePreparationAnimation(const MenuBarTransferIndicator& indicator) {
  if (std::holds_alternative<menu_bar_indicator::Preparing>(indicator) && !reduceMotion()) {
    if (!preparationTask_) schedulePreparationFrame();
    return;
  }
  if (preparationTask_) preparationTask_->cancel();
  preparationTask_.reset();
  preparationAnimationFrame_ = 0;
}

void MenuBarController::schedulePreparationFrame() {
  preparationTask_ = later(preparationFrameInterval, [this] {
    preparationTask_.reset();
    if (!displayedIndicator_ || !std::holds_alternative<menu_bar_indicator::Preparing>(*displayedIndicator_)) return;
    preparationAnimationFrame_ = (preparationAnimationFrame_ + 1) % MenuBarStatusIconRenderer::kFrameCount;
    if (statusItem_ && statusItem_->isAvailable()) {
      statusItem_->setIcon(renderer_.icon(*displayedIndicator_, preparationAnimationFrame_, reduceMotion()));
    }
    schedulePreparationFrame();
  });
}

void MenuBarController::updateStatusDescription(const MenuBarTransferIndicator& indicator) {
  if (!statusItem_ || !statusItem_->isAvailable()) return;
  const auto text = QString::fromStdString(menuBarStatusDescription(authenticationStore_.state(), indicator, store_.state()));
  statusItem_->setTexts(QCoreApplication::translate("MenuBarStatus", "Tavrel — %1").arg(text),
                        QCoreApplication::translate("MenuBarStatus", "Open Tavrel. %1.").arg(text), text);
}

void MenuBarController::applyPopoverContentSize(bool animated) {
  if (!popover_) return;
  const QSize target(popoverWidth, popoverModel_->contentHeight());
  if (popover_->contentSize() == target) return;  // a running resize goes on
  if (resizeTask_) resizeTask_->cancel();
  resizeTask_.reset();
  if (animated && !reduceMotion()) {
    runResizeStep(popover_->contentSize(), target, 1);
  } else {
    popover_->setContentSize(target);
  }
}

void MenuBarController::runResizeStep(QSize from, QSize to, int step) {
  resizeTask_ = later(resizeStepInterval, [this, from, to, step] {
    resizeTask_.reset();
    if (step >= resizeSteps) {
      popover_->setContentSize(to);
      return;
    }
    const double t = static_cast<double>(step) / resizeSteps;
    const double eased = 1 - std::pow(1 - t, 3);
    popover_->setContentSize(QSize(static_cast<int>(std::lround(from.width() + (to.width() - from.width()) * eased)),
                                   static_cast<int>(std::lround(from.height() + (to.height() - from.height()) * eased))));
    runResizeStep(from, to, step + 1);
  });
}

void MenuBarController::schedulePopoverSizeUpdate() {
  const auto number = ++sizeUpdateCount_;
  pendingSizeUpdate_ = number;
  post([this, number] {
    if (pendingSizeUpdate_ != number) return;  // a newer update replaced this one
    pendingSizeUpdate_ = 0;
    applyPopoverContentSize(isPopoverShown());
  });
}

bool MenuBarController::isPopoverShown() const { return popover_ && popover_->isShown(); }

PopoverAnchor MenuBarController::popoverAnchor() const {
  if (!statusItem_ || !statusItem_->isAvailable()) return popover_anchor::OrdinaryWindow{};
  if (auto geometry = statusItem_->geometry(); geometry && !geometry->isEmpty()) return *geometry;
  // Trays that report no geometry: hang the popover from where the user last clicked the icon, so
  // the hot key opens it there too. Before any click, by the tray's panel: never under the pointer,
  // which often rests on the file manager's window, over the very files to be dropped.
  if (iconPressPoint_) return QRect(*iconPressPoint_, QSize(1, 1));
  return popover_anchor::TrayCorner{};
}

void MenuBarController::showPopover(bool activating) {
  if (isInvalidated_ || !popover_) return;
  acknowledgeTerminalSignals();
  updateStatusItem(false);
  if (!popover_->isShown()) {
    if (actions_.onWillShow) actions_.onWillShow();
    if (std::holds_alternative<auth::Authenticated>(authenticationStore_.state())) recentTransfersStore_.refresh(false);
    pendingSizeUpdate_ = 0;
    applyPopoverContentSize(false);
    popover_->show(popoverAnchor(), activating);
    popoverModel_->appeared();
    post([this, activating] {
      if (!isPopoverShown()) return;
      if (activating) popover_->activate();
      startOutsideClickMonitor();
    });
  } else if (activating) {
    popover_->activate();
  }
}

void MenuBarController::acknowledgeTerminalSignals() {
  std::unordered_set<TransferItemID> ids;
  for (const auto& signal : store_.state().terminalSignals) ids.insert(signal.id);
  acknowledged_.insert(ids.begin(), ids.end());
  if (!ids.empty()) store_.send(transfer_action::AcknowledgeTerminalSignals{ids});
  std::unordered_set<TransferItemID> remaining;
  for (const auto& signal : store_.state().terminalSignals) {
    if (acknowledged_.contains(signal.id)) remaining.insert(signal.id);
  }
  acknowledged_ = std::move(remaining);
}

void MenuBarController::togglePopover() {
  if (isPopoverShown()) closePopover();
  else showPopover(true);
}

void MenuBarController::closePopover() {
  monitor_.stop();
  dragPresentation_.setDropTargeted(false);
  if (popover_ && popover_->isShown()) popover_->close();
}

void MenuBarController::popoverDidClose() {
  monitor_.stop();
  dragPresentation_.setDropTargeted(false);
  popoverModel_->disappeared();
}

void MenuBarController::startOutsideClickMonitor() {
  if (!isPopoverShown() || store_.state().presentation.isFilePickerPresented || dragPresentation_.isDropTargeted() ||
      popoverModel_->isMenuOpen() || popoverModel_->currentConfirmation()) {
    monitor_.stop();
    return;
  }
  monitor_.start(
      [this](QPoint position) {
        if (popover_->contains(position)) return true;
        const auto icon = statusItem_ ? statusItem_->geometry() : std::nullopt;
        return icon && icon->contains(position);
      },
      [this] { closePopover(); });
}

bool MenuBarController::canAcceptDrop() const { return authenticationStore_.canInitiateTransfer(); }

void MenuBarController::popoverDropTargetChanged(bool targeted) {
  dragPresentation_.setDropTargeted(targeted);
  if (targeted) monitor_.stop();
  else startOutsideClickMonitor();
}

void MenuBarController::popoverDidReceiveDrop(std::vector<std::filesystem::path> urls) {
  if (!canAcceptDrop()) return;
  dragPresentation_.setDropTargeted(false);
  store_.send(transfer_action::EnqueueURLs{std::move(urls), TransferStartPolicy::automatic});
  startOutsideClickMonitor();
}

bool MenuBarController::revealFailure(const UploadRunID& runID) {
  const auto failure = store_.state().failure(runID);
  if (!failure) return false;
  dragPresentation_.setRevealedTransferID(failure->id);
  scheduleRevealReset(failure->id);
  showPopover(true);
  return true;
}

void MenuBarController::scheduleRevealReset(const TransferItemID& id) {
  later(revealDuration, [this, id] {
    // A later reveal of another item stays.
    if (dragPresentation_.revealedTransferID() == id) dragPresentation_.setRevealedTransferID(std::nullopt);
  });
}

void MenuBarController::invalidate() {
  if (isInvalidated_) return;
  isInvalidated_ = true;
  observers_.clear();
  disconnect(reduceMotionConnection_);
  pendingSizeUpdate_ = 0;
  if (resizeTask_) resizeTask_->cancel();
  resizeTask_.reset();
  if (preparationTask_) preparationTask_->cancel();
  preparationTask_.reset();
  monitor_.stop();
  closePopover();
  if (statusItem_) {
    statusItem_->onActivated = nullptr;
    statusItem_->onChanged = nullptr;
    statusItem_->remove();
  }
}

}  // namespace tavrel
