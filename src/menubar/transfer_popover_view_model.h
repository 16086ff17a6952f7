#pragma once

#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "account/authentication_store.h"
#include "menubar/menu_bar_controller_actions.h"
#include "menubar/menu_bar_drag_presentation_model.h"
#include "menubar/menu_bar_menu.h"
#include "menubar/menu_bar_settings.h"
#include "menubar/popover_activity_model.h"
#include "menubar/popover_recent_model.h"
#include "platform/main_queue.h"
#include "transfer/recent_transfers_store.h"
#include "transfer/transfer_store.h"

namespace tavrel {

// What the popover may show for the account.
enum class PopoverAccessStatus { ready, sendingUnavailable, unavailable, restoring, signedOut, authorizing };
PopoverAccessStatus popoverAccessStatus(const AuthenticationState& state);

// Whether signing out or quitting would stop work: something queued, uploading, or a review that
// is still preparing or waits to resume a failed upload.
bool hasTransfersToStop(const TransferFeatureState& state);

// The transfer popover's model: which panel shows, its texts, what is enabled, the activity and
// recent lists, the menu, the confirmations and what each control does. The view binds to it and
// calls its operations; every change of transfer state goes to the transfer store, of the sign-in
// state to the authentication store, and everything else to the program's callbacks.
//
// IMPORTANT: Thread-safety. Main thread only. The stores, the settings and the drag model must
// outlive it.
class TransferPopoverViewModel final : public QObject {
  Q_OBJECT
  Q_PROPERTY(int contentWidth READ contentWidth CONSTANT)
  Q_PROPERTY(int contentHeight READ contentHeight NOTIFY changed)
  Q_PROPERTY(QString content READ content NOTIFY changed)
  Q_PROPERTY(QString accessStatus READ accessStatus NOTIFY changed)
  Q_PROPERTY(QString unavailableMessage READ unavailableMessage NOTIFY changed)
  Q_PROPERTY(QString completedTitle READ completedTitle NOTIFY changed)
  Q_PROPERTY(bool uploadFilesEnabled READ uploadFilesEnabled NOTIFY changed)
  Q_PROPERTY(bool hasActivity READ hasActivity NOTIFY changed)
  Q_PROPERTY(bool hasRecent READ hasRecent NOTIFY changed)
  Q_PROPERTY(bool returnStartsTransfer READ returnStartsTransfer NOTIFY changed)
  Q_PROPERTY(QString confirmation READ confirmation NOTIFY confirmationChanged)
  Q_PROPERTY(QString confirmationTitle READ confirmationTitle NOTIFY confirmationChanged)
  Q_PROPERTY(QString confirmationMessage READ confirmationMessage NOTIFY confirmationChanged)
  Q_PROPERTY(QString confirmationDestructiveText READ confirmationDestructiveText NOTIFY confirmationChanged)
  Q_PROPERTY(QString confirmationCancelText READ confirmationCancelText NOTIFY confirmationChanged)
  Q_PROPERTY(QVariantList menuEntries READ menuEntries NOTIFY menuChanged)
  Q_PROPERTY(bool isDropTargeted READ isDropTargeted NOTIFY dropTargetedChanged)
  Q_PROPERTY(int revealedRow READ revealedRow NOTIFY revealedRowChanged)
  Q_PROPERTY(bool isMenuOpen READ isMenuOpen NOTIFY menuOpenChanged)
  Q_PROPERTY(QObject* activity READ activity CONSTANT)
  Q_PROPERTY(QObject* recent READ recent CONSTANT)

 public:
  struct Callbacks {
    std::function<void()> onToggleQuickDrop;
    std::function<void()> onViewTransfers;
    std::function<void()> onViewTransferSettings;
    std::function<void(const std::string&)> onViewRecentTransfer;
    std::function<void(const std::string&)> onCopyRecentTransferLink;
    std::function<void()> onManageAccount;
    std::function<void()> onSignOut;
    std::function<void()> onQuit;
    std::function<void()> onClose;
  };
  // The eight the popover takes from the program's actions, and its own close.
  static Callbacks callbacks(const MenuBarControllerActions& actions, std::function<void()> onClose);

  struct Confirmation {
    enum class Kind { cancel, signOut, quit };
    Kind kind;
    std::optional<TransferItemID> itemID;  // cancel only
    friend bool operator==(const Confirmation&, const Confirmation&) = default;
  };

  using Now = std::function<std::chrono::system_clock::time_point()>;

  static constexpr auto copyFeedbackDuration = std::chrono::seconds(2);
  static constexpr auto ageRefreshInterval = std::chrono::seconds(60);

  TransferPopoverViewModel(TransferStore& store, RecentTransfersStore& recentTransfersStore,
                           AuthenticationStore& authenticationStore, MenuBarSettings& settings,
                           MenuBarDragPresentationModel& dragPresentation, platform::MainQueue& mainQueue,
                           Callbacks callbacks, TransferSymbolNaming symbolNaming, Now now,
                           QObject* parent = nullptr);
  ~TransferPopoverViewModel() override;

  int contentWidth() const;
  int contentHeight() const;
  // "transfers", "loadingRecent", "recentError", "completed" or "status".
  QString content() const;
  // "ready", "sendingUnavailable", "unavailable", "restoring", "signedOut" or "authorizing".
  QString accessStatus() const;
  QString unavailableMessage() const;
  QString completedTitle() const;
  bool uploadFilesEnabled() const;
  bool hasActivity() const;
  bool hasRecent() const;
  // While a ready transfer waits for its start, Return starts it instead of choosing new files.
  bool returnStartsTransfer() const;
  QString confirmation() const;
  QString confirmationTitle() const;
  QString confirmationMessage() const;
  QString confirmationDestructiveText() const;
  QString confirmationCancelText() const;
  const std::optional<Confirmation>& currentConfirmation() const { return confirmation_; }
  QVariantList menuEntries() const;
  const std::vector<MenuBarMenuEntry>& menu() const { return menu_; }
  bool isDropTargeted() const { return dragPresentation_.isDropTargeted(); }
  // The activity row to scroll to, or -1.
  int revealedRow() const;
  QObject* activity() { return &activity_; }
  QObject* recent() { return &recent_; }
  PopoverActivityModel& activityModel() { return activity_; }
  PopoverRecentModel& recentModel() { return recent_; }
  const std::optional<std::string>& copiedRecentTransferID() const { return copiedRecentTransferID_; }

  // Header.
  Q_INVOKABLE void uploadFiles();
  // Keyboard.
  Q_INVOKABLE void pressReturn();
  Q_INVOKABLE void pressEscape();
  Q_INVOKABLE void pressQuitShortcut();
  // Menu. The ellipsis menu opens as a menu window of its own at `globalPosition`.
  Q_INVOKABLE void openMenu(const QPoint& globalPosition);
  // The menu's window with an action per entry; each performs its command when triggered.
  QMenu* buildMenu(QWidget* parent = nullptr);
  bool isMenuOpen() const { return isMenuOpen_; }
  Q_INVOKABLE void performMenuCommand(int command);
  void perform(MenuBarMenuCommand command);
  // Activity rows, by the row's item identity.
  Q_INVOKABLE void cancelItem(const QString& itemID);
  Q_INVOKABLE void startTransfer();
  Q_INVOKABLE void retryItem(const QString& itemID);
  // Confirmation answers.
  Q_INVOKABLE void confirm();
  Q_INVOKABLE void dismissConfirmation();
  // Status panels and placeholders.
  Q_INVOKABLE void signIn();
  Q_INVOKABLE void retryConnection();
  Q_INVOKABLE void retryRecentTransfers();
  Q_INVOKABLE void viewAllTransfers();
  // Recent rows.
  Q_INVOKABLE void viewRecentTransfer(const QString& transferID);
  Q_INVOKABLE void copyRecentLink(const QString& transferID);
  // Whether the view should put the focus on "Upload Files" as it appears: nothing is listed.
  Q_INVOKABLE bool focusesUploadButtonOnAppear() const;
  // The view appeared or went away: ages refresh once a minute only while it shows, and a copy's
  // feedback ends with it.
  Q_INVOKABLE void appeared();
  Q_INVOKABLE void disappeared();
  bool isShown() const { return isShown_; }

 signals:
  void changed();
  void confirmationChanged();
  void menuChanged();
  void menuOpenChanged();
  void dropTargetedChanged();
  void revealedRowChanged();
  // The popover is showing again: the view runs its focus rule.
  void didAppear();

 private:
  struct Panel {
    int contentHeight = 0;
    QString content;
    PopoverAccessStatus accessStatus = PopoverAccessStatus::restoring;
    std::string unavailableMessage;
    std::string completedTitle;
    bool uploadFilesEnabled = false;
    bool hasActivity = false;
    bool hasRecent = false;
    bool returnStartsTransfer = false;
    friend bool operator==(const Panel&, const Panel&) = default;
  };

  void refresh();
  void refreshMenu();
  void refreshRecent();
  void setConfirmation(std::optional<Confirmation> confirmation);
  void endCopyFeedback();
  void scheduleAgeRefresh();
  std::optional<TransferItemID> itemID(const QString& text) const;
  template <typename Callback, typename... Args>
  static void call(const Callback& callback, Args&&... args) {
    if (callback) callback(std::forward<Args>(args)...);
  }

  TransferStore& store_;
  RecentTransfersStore& recentTransfersStore_;
  AuthenticationStore& authenticationStore_;
  MenuBarSettings& settings_;
  MenuBarDragPresentationModel& dragPresentation_;
  platform::MainQueue& mainQueue_;
  Callbacks callbacks_;
  Now now_;

  PopoverActivityModel activity_;
  PopoverRecentModel recent_;
  Panel panel_;
  std::vector<MenuBarMenuEntry> menu_;
  std::optional<Confirmation> confirmation_;
  std::optional<std::string> copiedRecentTransferID_;
  std::optional<platform::DelayedTask> copyFeedbackTask_;
  std::optional<platform::DelayedTask> ageRefreshTask_;
  bool isShown_ = false;
  bool isMenuOpen_ = false;
  QPointer<QMenu> openMenu_;
  int revealedRow_ = -1;

  std::vector<platform::Subscription> subscriptions_;
};

}  // namespace tavrel
