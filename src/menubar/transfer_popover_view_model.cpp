#include "menubar/transfer_popover_view_model.h"

#include <QAction>
#include <QCoreApplication>
#include <QVariantMap>

#include "menubar/popover_height.h"
#include "ui/symbols.h"
#include "ui/translations.h"

namespace tavrel {
namespace {

namespace auth = authentication_state;

QString accessStatusName(PopoverAccessStatus status) {
  switch (status) {
    case PopoverAccessStatus::ready: return QStringLiteral("ready");
    case PopoverAccessStatus::sendingUnavailable: return QStringLiteral("sendingUnavailable");
    case PopoverAccessStatus::unavailable: return QStringLiteral("unavailable");
    case PopoverAccessStatus::restoring: return QStringLiteral("restoring");
    case PopoverAccessStatus::signedOut: return QStringLiteral("signedOut");
    case PopoverAccessStatus::authorizing: return QStringLiteral("authorizing");
  }
  return {};
}

// The menu's own titles are catalogued under "MenuBarMenu"; a core message is translated as the
// core's (a message from the service stays as it came); the user's name and e-mail are never looked
// up, so a user named "Retry" is not translated.
QString menuText(const MenuBarMenuItemDescriptor& item) {
  switch (item.titleSource) {
    case MenuBarMenuTitleSource::menu: return QCoreApplication::translate("MenuBarMenu", item.title.c_str());
    case MenuBarMenuTitleSource::core: return ui::translatedCoreText(item.title);
    case MenuBarMenuTitleSource::account: return QString::fromStdString(item.title);
  }
  return QString::fromStdString(item.title);
}

// Menu titles come from data (a user's name, an error text): an ampersand is shown as typed, never
// taken as a shortcut mark.
QString menuTitle(const MenuBarMenuItemDescriptor& item) { return menuText(item).replace('&', QStringLiteral("&&")); }

}  // namespace

PopoverAccessStatus popoverAccessStatus(const AuthenticationState& state) {
  if (const auto* authenticated = std::get_if<auth::Authenticated>(&state)) {
    return authenticated->account.bootstrap.permissions.canInitiateTransfer ? PopoverAccessStatus::ready
                                                                            : PopoverAccessStatus::sendingUnavailable;
  }
  if (std::holds_alternative<auth::TemporarilyUnavailable>(state)) return PopoverAccessStatus::unavailable;
  if (std::holds_alternative<auth::Restoring>(state)) return PopoverAccessStatus::restoring;
  if (std::holds_alternative<auth::SignedOut>(state)) return PopoverAccessStatus::signedOut;
  return PopoverAccessStatus::authorizing;
}

bool hasTransfersToStop(const TransferFeatureState& state) {
  if (!state.queue.empty() || activeUpload(state.phase)) return true;
  if (const auto* review = reviewState(state.phase)) {
    return std::holds_alternative<review_preparation::Calculating>(review->preparation) ||
           review->hasRetryPreparedTransfer();
  }
  return false;
}

TransferPopoverViewModel::Callbacks TransferPopoverViewModel::callbacks(const MenuBarControllerActions& actions,
                                                                       std::function<void()> onClose) {
  return {actions.onToggleQuickDrop,        actions.onViewTransfers,  actions.onViewTransferSettings,
          actions.onViewRecentTransfer,     actions.onCopyRecentTransferLink, actions.onManageAccount,
          actions.onSignOut,                actions.onQuit,           std::move(onClose)};
}

TransferPopoverViewModel::TransferPopoverViewModel(TransferStore& store, RecentTransfersStore& recentTransfersStore,
                                                   AuthenticationStore& authenticationStore, MenuBarSettings& settings,
                                                   MenuBarDragPresentationModel& dragPresentation,
                                                   platform::MainQueue& mainQueue, Callbacks callbacks,
                                                   TransferSymbolNaming symbolNaming, Now now, QObject* parent)
    : QObject(parent),
      store_(store),
      recentTransfersStore_(recentTransfersStore),
      authenticationStore_(authenticationStore),
      settings_(settings),
      dragPresentation_(dragPresentation),
      mainQueue_(mainQueue),
      callbacks_(std::move(callbacks)),
      now_(std::move(now)),
      recent_(std::move(symbolNaming)) {
  connect(&dragPresentation_, &MenuBarDragPresentationModel::dropTargetedChanged, this,
          &TransferPopoverViewModel::dropTargetedChanged);
  connect(&dragPresentation_, &MenuBarDragPresentationModel::revealedTransferChanged, this,
          &TransferPopoverViewModel::refresh);
  subscriptions_.push_back(store_.subscribe([this](const TransferFeatureState&) { refresh(); },
                                            platform::Delivery::removeDuplicates));
  subscriptions_.push_back(authenticationStore_.subscribe([this](const AuthenticationState&) {
    refresh();
    refreshMenu();
  }));
  subscriptions_.push_back(recentTransfersStore_.transfers().subscribe([this](const auto&) { refreshRecent(); }));
  subscriptions_.push_back(recentTransfersStore_.isLoading().subscribe([this](const auto&) { refresh(); }));
  subscriptions_.push_back(recentTransfersStore_.hasCompleteSnapshot().subscribe([this](const auto&) { refresh(); }));
  subscriptions_.push_back(recentTransfersStore_.errorMessage().subscribe([this](const auto&) { refresh(); }));
  subscriptions_.push_back(settings_.subscribe([this] { refreshMenu(); }));
}

TransferPopoverViewModel::~TransferPopoverViewModel() {
  if (openMenu_) {
    openMenu_->disconnect(this);
    delete openMenu_;
  }
  if (copyFeedbackTask_) copyFeedbackTask_->cancel();
  if (ageRefreshTask_) ageRefreshTask_->cancel();
}

void TransferPopoverViewModel::refreshRecent() {
  recent_.setTransfers(recentTransfersStore_.transfers().value(), now_());
  refresh();
}

void TransferPopoverViewModel::refresh() {
  const auto& state = store_.state();
  const auto& transfers = recentTransfersStore_.transfers().value();
  const bool canSend = authenticationStore_.canInitiateTransfer();
  const bool placeholder =
      recentTransfersStore_.showsLoadingPlaceholder() || recentTransfersStore_.showsErrorPlaceholder();

  auto rows = popoverActivityRows(state);
  Panel panel;
  panel.contentHeight = popoverContentHeight(popoverHeightInputs(state, canSend, transfers.size(), placeholder));
  panel.accessStatus = popoverAccessStatus(authenticationStore_.state());
  if (const auto* unavailable = std::get_if<auth::TemporarilyUnavailable>(&authenticationStore_.state())) {
    panel.unavailableMessage = unavailable->message;
  }
  panel.hasActivity = state.hasActivity();
  panel.hasRecent = !transfers.empty();
  if (panel.hasActivity || panel.hasRecent) panel.content = QStringLiteral("transfers");
  else if (recentTransfersStore_.showsLoadingPlaceholder()) panel.content = QStringLiteral("loadingRecent");
  else if (recentTransfersStore_.showsErrorPlaceholder()) panel.content = QStringLiteral("recentError");
  else if (const auto* completed = completedTransfer(state.phase)) {
    panel.content = QStringLiteral("completed");
    panel.completedTitle = completed->preparedTransfer.title;
  } else {
    panel.content = QStringLiteral("status");
  }
  panel.uploadFilesEnabled = canSend && !state.presentation.isFilePickerPresented;
  panel.returnStartsTransfer = std::any_of(rows.begin(), rows.end(), [](const auto& row) {
    return row.kind == PopoverActivityRow::Kind::ready;
  });

  activity_.setRows(std::move(rows));
  activity_.setRevealedTransferID(dragPresentation_.revealedTransferID());
  if (!(panel == panel_)) {
    panel_ = std::move(panel);
    emit changed();
  }
  const auto revealed = dragPresentation_.revealedTransferID() ? activity_.indexOf(*dragPresentation_.revealedTransferID())
                                                               : -1;
  if (revealed != revealedRow_) {
    revealedRow_ = revealed;
    emit revealedRowChanged();
  }
  // A confirmation to cancel an upload that has ended meanwhile has nothing left to ask about.
  if (confirmation_ && confirmation_->kind == Confirmation::Kind::cancel) {
    const auto* row = activity_.row(*confirmation_->itemID);
    if (!row || row->kind != PopoverActivityRow::Kind::uploading) setConfirmation(std::nullopt);
  }
}

void TransferPopoverViewModel::refreshMenu() {
  auto menu = menuBarMenuEntries(authenticationStore_.state(), settings_.isQuickDropEnabled(),
                                 settings_.launchAtLoginStatus(), settings_.launchAtLoginFailureMessage());
  if (menu == menu_) return;
  menu_ = std::move(menu);
  emit menuChanged();
}

int TransferPopoverViewModel::contentWidth() const { return popoverWidth; }
int TransferPopoverViewModel::contentHeight() const { return panel_.contentHeight; }
QString TransferPopoverViewModel::content() const { return panel_.content; }
QString TransferPopoverViewModel::accessStatus() const { return accessStatusName(panel_.accessStatus); }
QString TransferPopoverViewModel::unavailableMessage() const {
  return ui::translatedCoreText(panel_.unavailableMessage);
}
QString TransferPopoverViewModel::completedTitle() const { return QString::fromStdString(panel_.completedTitle); }
bool TransferPopoverViewModel::uploadFilesEnabled() const { return panel_.uploadFilesEnabled; }
bool TransferPopoverViewModel::hasActivity() const { return panel_.hasActivity; }
bool TransferPopoverViewModel::hasRecent() const { return panel_.hasRecent; }
bool TransferPopoverViewModel::returnStartsTransfer() const { return panel_.returnStartsTransfer; }
int TransferPopoverViewModel::revealedRow() const { return revealedRow_; }

QString TransferPopoverViewModel::confirmation() const {
  if (!confirmation_) return {};
  switch (confirmation_->kind) {
    case Confirmation::Kind::cancel: return QStringLiteral("cancel");
    case Confirmation::Kind::signOut: return QStringLiteral("signOut");
    case Confirmation::Kind::quit: return QStringLiteral("quit");
  }
  return {};
}

QString TransferPopoverViewModel::confirmationTitle() const {
  if (!confirmation_) return {};
  switch (confirmation_->kind) {
    case Confirmation::Kind::cancel:
      return QCoreApplication::translate("TransferPopover", "Cancel this upload?");
    case Confirmation::Kind::signOut:
      return QCoreApplication::translate("TransferPopover", "Sign out and stop all transfers?");
    case Confirmation::Kind::quit:
      return QCoreApplication::translate("TransferPopover", "Quit and stop all transfers?");
  }
  return {};
}

QString TransferPopoverViewModel::confirmationMessage() const {
  if (!confirmation_) return {};
  if (confirmation_->kind == Confirmation::Kind::cancel) {
    return QCoreApplication::translate("TransferPopover",
                                       "The current upload will stop and cannot be resumed.");
  }
  return QCoreApplication::translate("TransferPopover", "Active and queued transfers will be cleared.");
}

QString TransferPopoverViewModel::confirmationDestructiveText() const {
  if (!confirmation_) return {};
  switch (confirmation_->kind) {
    case Confirmation::Kind::cancel:
      return QCoreApplication::translate("TransferPopover", "Cancel Upload");
    case Confirmation::Kind::signOut:
      return QCoreApplication::translate("TransferPopover", "Sign Out");
    case Confirmation::Kind::quit:
      return QCoreApplication::translate("TransferPopover", "Quit Tavrel");
  }
  return {};
}

QString TransferPopoverViewModel::confirmationCancelText() const {
  if (!confirmation_) return {};
  return confirmation_->kind == Confirmation::Kind::cancel
             ? QCoreApplication::translate("TransferPopover", "Keep Uploading")
             : QCoreApplication::translate("TransferPopover", "Keep Transfers Running");
}

QVariantList TransferPopoverViewModel::menuEntries() const {
  QVariantList entries;
  for (const auto& entry : menu_) {
    QVariantMap map;
    if (const auto* item = std::get_if<MenuBarMenuItemDescriptor>(&entry)) {
      map[QStringLiteral("separator")] = false;
      map[QStringLiteral("title")] = menuText(*item);
      map[QStringLiteral("menuTitle")] = menuTitle(*item);
      map[QStringLiteral("systemImage")] = item->systemImage ? QString::fromStdString(*item->systemImage) : QString();
      map[QStringLiteral("command")] = item->command ? static_cast<int>(*item->command) : -1;
      map[QStringLiteral("enabled")] = item->isEnabled;
      map[QStringLiteral("keyEquivalent")] = QString::fromStdString(item->keyEquivalent);
      map[QStringLiteral("checkable")] = item->isOn.has_value();
      map[QStringLiteral("checked")] = item->isOn.value_or(false);
    } else {
      map[QStringLiteral("separator")] = true;
    }
    entries.push_back(map);
  }
  return entries;
}

void TransferPopoverViewModel::setConfirmation(std::optional<Confirmation> confirmation) {
  if (confirmation_ == confirmation) return;
  confirmation_ = std::move(confirmation);
  emit confirmationChanged();
}

std::optional<TransferItemID> TransferPopoverViewModel::itemID(const QString& text) const {
  return TransferItemID::parse(text.toStdString());
}

void TransferPopoverViewModel::uploadFiles() {
  if (!uploadFilesEnabled()) return;
  store_.send(transfer_action::ChooseItems{});
}

void TransferPopoverViewModel::pressReturn() {
  if (confirmation_) return;  // the dialog's own buttons answer it
  if (returnStartsTransfer()) startTransfer();
  else uploadFiles();
}

void TransferPopoverViewModel::pressEscape() {
  if (confirmation_) {
    setConfirmation(std::nullopt);
    return;
  }
  call(callbacks_.onClose);
}

void TransferPopoverViewModel::pressQuitShortcut() { perform(MenuBarMenuCommand::quit); }

QMenu* TransferPopoverViewModel::buildMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setTitle(QCoreApplication::translate("TransferPopover", "Tavrel menu"));
  // The menu takes the desktop's palette, light or dark: its symbols are drawn in the menu's own
  // text colours (normal and highlighted), never in the popover's white.
  const auto palette = menu->palette();
  const auto symbolIcon = [&palette](const std::string& name) {
    QIcon icon;
    const std::pair<QPalette::ColorRole, QIcon::Mode> looks[] = {{QPalette::Text, QIcon::Normal},
                                                                 {QPalette::HighlightedText, QIcon::Active}};
    for (const auto& [role, mode] : looks) {
      auto colour = palette.color(QPalette::Active, role);
      colour.setAlphaF(0.72f);
      const auto symbol = ui::renderSymbol(name, QSize(32, 32), colour);
      if (!symbol.isNull()) icon.addPixmap(QPixmap::fromImage(symbol), mode);
    }
    return icon;
  };
  for (const auto& entry : menu_) {
    const auto* item = std::get_if<MenuBarMenuItemDescriptor>(&entry);
    if (!item) {
      menu->addSeparator();
      continue;
    }
    auto* action = menu->addAction(menuTitle(*item));
    if (item->systemImage) {
      const auto icon = symbolIcon(*item->systemImage);
      if (!icon.isNull()) action->setIcon(icon);
    }
    action->setEnabled(item->isEnabled && item->command.has_value());
    if (item->isOn) {
      action->setCheckable(true);
      action->setChecked(*item->isOn);
    }
    if (item->keyEquivalent == "q") action->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    if (const auto command = item->command) {
      // The command decides what a toggle does, whatever state the action flipped to.
      connect(action, &QAction::triggered, this, [this, command = *command] { perform(command); });
    }
  }
  return menu;
}

void TransferPopoverViewModel::openMenu(const QPoint& globalPosition) {
  if (openMenu_) return;
  auto* menu = buildMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  openMenu_ = menu;
  connect(menu, &QMenu::aboutToHide, this, [this] {
    // Actions run after the menu hides; the menu counts as open until then.
    QMetaObject::invokeMethod(this, [this] {
      isMenuOpen_ = false;
      emit menuOpenChanged();
    }, Qt::QueuedConnection);
  });
  isMenuOpen_ = true;
  emit menuOpenChanged();
  menu->popup(globalPosition);
}

void TransferPopoverViewModel::performMenuCommand(int command) {
  if (command < static_cast<int>(MenuBarMenuCommand::signIn) || command > static_cast<int>(MenuBarMenuCommand::quit)) {
    return;
  }
  perform(static_cast<MenuBarMenuCommand>(command));
}

void TransferPopoverViewModel::perform(MenuBarMenuCommand command) {
  switch (command) {
    case MenuBarMenuCommand::signIn: authenticationStore_.signIn(); break;
    case MenuBarMenuCommand::cancelSignIn: authenticationStore_.signOut(); break;
    case MenuBarMenuCommand::retry: authenticationStore_.retry(); break;
    case MenuBarMenuCommand::toggleQuickDrop: call(callbacks_.onToggleQuickDrop); break;
    case MenuBarMenuCommand::toggleLaunchAtLogin:
      settings_.setLaunchAtLoginEnabled(!isLaunchAtLoginOn(settings_.launchAtLoginStatus()));
      break;
    case MenuBarMenuCommand::openLoginItemsSettings: settings_.openLoginItemsSettings(); break;
    case MenuBarMenuCommand::viewTransfers: call(callbacks_.onViewTransfers); break;
    case MenuBarMenuCommand::viewTransferSettings: call(callbacks_.onViewTransferSettings); break;
    case MenuBarMenuCommand::manageAccount: call(callbacks_.onManageAccount); break;
    case MenuBarMenuCommand::signOut:
    case MenuBarMenuCommand::quit: {
      const bool quit = command == MenuBarMenuCommand::quit;
      if (hasTransfersToStop(store_.state())) {
        setConfirmation(Confirmation{quit ? Confirmation::Kind::quit : Confirmation::Kind::signOut, std::nullopt});
        return;
      }
      setConfirmation(std::nullopt);
      call(quit ? callbacks_.onQuit : callbacks_.onSignOut);
      break;
    }
  }
}

void TransferPopoverViewModel::cancelItem(const QString& text) {
  const auto id = itemID(text);
  const auto* row = id ? activity_.row(*id) : nullptr;
  if (!row || !row->actionEnabled) return;
  switch (row->kind) {
    case PopoverActivityRow::Kind::uploading: setConfirmation(Confirmation{Confirmation::Kind::cancel, *id}); break;
    case PopoverActivityRow::Kind::failed: break;  // a failed row retries; it has no cancel
    default: store_.send(transfer_action::CancelTransfer{*id}); break;
  }
}

void TransferPopoverViewModel::startTransfer() { store_.send(transfer_action::StartTransfer{}); }

void TransferPopoverViewModel::retryItem(const QString& text) {
  if (const auto id = itemID(text)) store_.send(transfer_action::RetryTransfer{*id});
}

void TransferPopoverViewModel::confirm() {
  const auto confirmation = confirmation_;
  if (!confirmation) return;
  setConfirmation(std::nullopt);
  switch (confirmation->kind) {
    case Confirmation::Kind::cancel: store_.send(transfer_action::CancelTransfer{*confirmation->itemID}); break;
    case Confirmation::Kind::signOut: call(callbacks_.onSignOut); break;
    case Confirmation::Kind::quit: call(callbacks_.onQuit); break;
  }
}

void TransferPopoverViewModel::dismissConfirmation() { setConfirmation(std::nullopt); }

void TransferPopoverViewModel::signIn() { authenticationStore_.signIn(); }

void TransferPopoverViewModel::retryConnection() { authenticationStore_.retry(); }

void TransferPopoverViewModel::retryRecentTransfers() { recentTransfersStore_.refresh(true); }

void TransferPopoverViewModel::viewAllTransfers() { call(callbacks_.onViewTransfers); }

void TransferPopoverViewModel::viewRecentTransfer(const QString& transferID) {
  if (recent_.transfer(transferID.toStdString())) call(callbacks_.onViewRecentTransfer, transferID.toStdString());
}

void TransferPopoverViewModel::copyRecentLink(const QString& text) {
  const auto id = text.toStdString();
  const auto* transfer = recent_.transfer(id);
  if (!transfer || transfer->downloadSlug.empty() || copiedRecentTransferID_ == id) return;
  call(callbacks_.onCopyRecentTransferLink, transfer->downloadSlug);
  copiedRecentTransferID_ = id;
  recent_.setCopiedTransferID(id);
  if (copyFeedbackTask_) copyFeedbackTask_->cancel();
  copyFeedbackTask_ = mainQueue_.postDelayed(copyFeedbackDuration, [this, id] {
    copyFeedbackTask_.reset();
    if (copiedRecentTransferID_ == id) endCopyFeedback();
  });
}

void TransferPopoverViewModel::endCopyFeedback() {
  if (copyFeedbackTask_) copyFeedbackTask_->cancel();
  copyFeedbackTask_.reset();
  copiedRecentTransferID_.reset();
  recent_.setCopiedTransferID(std::nullopt);
}

bool TransferPopoverViewModel::focusesUploadButtonOnAppear() const {
  return !store_.state().hasActivity() && recentTransfersStore_.transfers().value().empty();
}

void TransferPopoverViewModel::appeared() {
  if (isShown_) return;
  isShown_ = true;
  recent_.setNow(now_());
  scheduleAgeRefresh();
  emit didAppear();
}

void TransferPopoverViewModel::disappeared() {
  if (!isShown_) return;
  isShown_ = false;
  if (ageRefreshTask_) ageRefreshTask_->cancel();
  ageRefreshTask_.reset();
  // Ending the feedback also clears the mark, so the row's copy button works again next time.
  endCopyFeedback();
}

void TransferPopoverViewModel::scheduleAgeRefresh() {
  ageRefreshTask_ = mainQueue_.postDelayed(ageRefreshInterval, [this] {
    ageRefreshTask_.reset();
    if (!isShown_) return;
    recent_.setNow(now_());
    scheduleAgeRefresh();
  });
}

}  // namespace tavrel
