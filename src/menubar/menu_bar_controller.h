#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "account/authentication_store.h"
#include "menubar/menu_bar_controller_actions.h"
#include "menubar/menu_bar_drag_presentation_model.h"
#include "menubar/menu_bar_settings.h"
#include "menubar/menu_bar_surfaces.h"
#include "menubar/outside_click_monitor.h"
#include "menubar/popover_drop_target.h"
#include "menubar/status_icon/menu_bar_status_icon_renderer.h"
#include "menubar/status_icon/menu_bar_transfer_indicator.h"
#include "menubar/transfer_popover_view_model.h"
#include "platform/main_queue.h"
#include "transfer/recent_transfers_store.h"
#include "transfer/transfer_store.h"

namespace tavrel {

// The tray icon's text for the sign-in state, the indicator and the transfer state: "Connecting",
// "Sign in required", or for a signed-in user the icon's phrase followed by the failed and queued
// counts ("Uploading, 42 percent, 1 failed, 2 queued").
std::string menuBarStatusDescription(const AuthenticationState& authentication, const MenuBarTransferIndicator& indicator,
                                     const TransferFeatureState& state);

// Owns the program's tray icon and the popover that opens from it. Keeps the icon, its tooltip and
// its accessible texts in step with the transfer and sign-in state and with the finished transfers
// the user has seen; opens, toggles and closes the popover; sizes it by the popover's height rule
// with a short ease-out; turns files dropped on it into a transfer; and closes it when the user
// turns to something else.
//
// Where no tray exists the popover opens as an ordinary window, so the program stays reachable.
//
// IMPORTANT: Thread-safety. Main thread only. The stores and the settings must outlive it.
class MenuBarController final : public QObject {
  Q_OBJECT

 public:
  // Builds the popover's window around its models.
  using PopoverWindowFactory = std::function<std::unique_ptr<MenuBarPopoverWindow>(
      TransferPopoverViewModel& model, PopoverDropTarget& dropTarget)>;

  struct Surfaces {
    std::unique_ptr<MenuBarStatusItem> statusItem;
    PopoverWindowFactory makePopoverWindow;
    // The recent rows' icons.
    TransferSymbolNaming symbolNaming;
    // The date the recent rows' ages count from.
    TransferPopoverViewModel::Now now;
  };

  static constexpr int resizeSteps = 10;
  static constexpr auto resizeStepInterval = std::chrono::milliseconds(16);
  static constexpr auto preparationFrameInterval = std::chrono::milliseconds(100);
  static constexpr auto revealDuration = std::chrono::seconds(2);

  // The program's controller: the system tray and the popover's Qt Quick window.
  MenuBarController(TransferStore& store, RecentTransfersStore& recentTransfersStore,
                    AuthenticationStore& authenticationStore, MenuBarSettings& settings,
                    MenuBarControllerActions actions, platform::MainQueue& mainQueue);
  MenuBarController(TransferStore& store, RecentTransfersStore& recentTransfersStore,
                    AuthenticationStore& authenticationStore, MenuBarSettings& settings,
                    MenuBarControllerActions actions, platform::MainQueue& mainQueue, Surfaces surfaces);
  ~MenuBarController() override;

  // Opens the popover (or brings it forward), acknowledging the finished transfers it shows.
  void showPopover(bool activating);
  // Opens the popover at the failed transfer of that run; false when the run has no failure.
  bool revealFailure(const UploadRunID& runID);
  // Takes the tray icon away for good; a second call does nothing.
  void invalidate();

  // The tray icon was clicked.
  void togglePopover();
  void closePopover();

  bool isPopoverShown() const;
  bool isInvalidated() const { return isInvalidated_; }
  const std::optional<MenuBarTransferIndicator>& displayedIndicator() const { return displayedIndicator_; }
  int preparationAnimationFrame() const { return preparationAnimationFrame_; }
  const std::unordered_set<TransferItemID>& acknowledgedTerminalSignalIDs() const { return acknowledged_; }
  bool isOutsideClickMonitorArmed() const { return monitor_.isArmed(); }
  MenuBarDragPresentationModel& dragPresentation() { return dragPresentation_; }
  const MenuBarStatusItem* statusItem() const { return statusItem_.get(); }
  const MenuBarPopoverWindow* popoverWindow() const { return popover_.get(); }
  MenuBarPopoverWindow* popoverWindow() { return popover_.get(); }
  TransferPopoverViewModel& popoverModel() { return *popoverModel_; }
  PopoverDropTarget& dropTarget() { return *dropTarget_; }

 private:
  void configureStatusItem();
  void configurePopover(Surfaces& surfaces);
  void installObservers();
  void transferStateChanged();
  void authenticationStateChanged();
  void updateStatusItem(bool force);
  void updatePreparationAnimation(const MenuBarTransferIndicator& indicator);
  void schedulePreparationFrame();
  void updateStatusDescription(const MenuBarTransferIndicator& indicator);
  void applyPopoverContentSize(bool animated);
  void schedulePopoverSizeUpdate();
  void runResizeStep(QSize from, QSize to, int step);
  void acknowledgeTerminalSignals();
  void startOutsideClickMonitor();
  void scheduleRevealReset(const TransferItemID& id);
  void popoverDidClose();
  void popoverDropTargetChanged(bool targeted);
  void popoverDidReceiveDrop(std::vector<std::filesystem::path> urls);
  bool canAcceptDrop() const;
  bool reduceMotion() const;
  PopoverAnchor popoverAnchor() const;
  // Runs `task` later on the main queue while this controller lives.
  platform::DelayedTask later(platform::Duration delay, std::function<void()> task);
  void post(std::function<void()> task);

  TransferStore& store_;
  RecentTransfersStore& recentTransfersStore_;
  AuthenticationStore& authenticationStore_;
  MenuBarSettings& settings_;
  MenuBarControllerActions actions_;
  platform::MainQueue& mainQueue_;

  MenuBarDragPresentationModel dragPresentation_;
  OutsideClickMonitor monitor_;
  MenuBarStatusIconRenderer renderer_;
  std::unique_ptr<MenuBarStatusItem> statusItem_;
  std::unique_ptr<PopoverDropTarget> dropTarget_;
  std::unique_ptr<TransferPopoverViewModel> popoverModel_;
  std::unique_ptr<MenuBarPopoverWindow> popover_;

  std::vector<platform::Subscription> observers_;
  QMetaObject::Connection reduceMotionConnection_;
  std::uint64_t pendingSizeUpdate_ = 0;  // the number of the size update that is due; 0 when none
  std::uint64_t sizeUpdateCount_ = 0;
  std::optional<platform::DelayedTask> resizeTask_;
  std::optional<platform::DelayedTask> preparationTask_;
  int preparationAnimationFrame_ = 0;
  std::optional<MenuBarTransferIndicator> displayedIndicator_;
  // Where the pointer was when the icon was last clicked, for trays that hide the icon's place.
  std::optional<QPoint> iconPressPoint_;
  std::unordered_set<TransferItemID> acknowledged_;
  bool isInvalidated_ = false;
  bool wasSignedIn_ = false;
  std::shared_ptr<MenuBarController*> lifetime_ = std::make_shared<MenuBarController*>(this);
};

}  // namespace tavrel
