#pragma once

#include <QObject>
#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "account/authentication_store.h"
#include "island/notch_drag_destination.h"
#include "island/notch_drag_destination_view.h"
#include "island/notch_interaction.h"
#include "island/notch_layout_model.h"
#include "island/notch_panel.h"
#include "island/quick_drop_presentation_model.h"
#include "island/transfer_island_view_model.h"
#include "menubar/outside_click_monitor.h"
#include "platform/observable.h"
#include "transfer/transfer_store.h"

class QQmlEngine;
class QQuickItem;
class QScreen;

namespace tavrel {

// Owns the island's panel: shows it at the top centre of the screen that carries the pointer,
// expands it on a click or an acceptable drag, turns drops into transfers, and folds it away.
// The program never makes one; the island is built whole so that it can be switched on.
//
// IMPORTANT: Thread-safety. Main thread only. The stores, the models and the engine must outlive it.
class NotchWindowController final : public QObject {
  Q_OBJECT

 public:
  // Room around the expanded island for its shadow.
  static constexpr double shadowMargin = 32;
  // How long a folding island keeps taking presses where it was: its spring takes this long.
  const double collapseSnapDelay = 0.4;

  NotchWindowController(TransferStore& store, NotchLayoutModel& layout, QuickDropPresentationModel& presentation,
                        AuthenticationStore& authenticationStore, std::function<void()> onWillExpand,
                        QQmlEngine& engine, QObject* parent = nullptr);
  ~NotchWindowController() override;

  // Puts the compact island on screen.
  void show();
  // Takes the panel off screen and leaves the island compact with no drop highlight.
  void hide();
  // A presented island goes back to its compact form and stays on screen.
  void collapse();
  // What the panel's content reports.
  void handle(const NotchInteraction& interaction);
  // Where the review's item cards get their thumbnails; without it they show icons.
  void setThumbnailGenerator(platform::MainQueue& mainQueue, std::shared_ptr<platform::ThumbnailGenerating> generator);

  bool isPresented() const { return isPresented_; }
  // A change of the panel's frame or input that waits for the island to finish folding.
  bool hasPendingPanelResize() const { return pendingPanelResize_.isActive(); }
  OutsideClickMonitor& outsideClickMonitor() { return outsideClickMonitor_; }
  bool expandedForDrag() const { return expandedForDrag_; }
  NotchPanel& panel() { return *panel_; }
  NotchDragDestinationView* containerView() const { return containerView_; }
  NotchDragDestination* destination() const { return destination_.get(); }
  TransferIslandViewModel* viewModel() const { return viewModel_.get(); }

 private:
  void expand(bool takesFocus);
  void build();
  void placePanel();
  void islandChanged();
  void followChanges();
  void followScreen(QScreen* screen);
  void updateDrawRegion();
  void fold();
  void sendDrop(std::vector<std::filesystem::path> urls, bool expandedForDrag);
  QRegion islandRegion() const;

  // Re-places the panel when the workspace changes (the X11 root's current desktop).
  class SpaceObserver final : public QAbstractNativeEventFilter {
   public:
    explicit SpaceObserver(std::function<void()> onChange);
    ~SpaceObserver() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

   private:
    std::function<void()> onChange_;
    unsigned currentDesktopAtom_ = 0;
  };

  TransferStore& store_;
  NotchLayoutModel& layout_;
  QuickDropPresentationModel& presentation_;
  AuthenticationStore& authenticationStore_;
  std::function<void()> onWillExpand_;
  QQmlEngine& engine_;
  std::unique_ptr<NotchPanel> panel_;
  std::unique_ptr<NotchDragDestination> destination_;
  std::unique_ptr<TransferIslandViewModel> viewModel_;
  QPointer<NotchDragDestinationView> containerView_;
  QPointer<QQuickItem> islandView_;
  platform::Subscription stateObserver_;
  platform::Subscription authenticationObserver_;
  std::vector<QMetaObject::Connection> screenObserver_;
  std::unique_ptr<SpaceObserver> spaceObserver_;
  OutsideClickMonitor outsideClickMonitor_;
  QTimer pendingPanelResize_;
  platform::MainQueue* thumbnailQueue_ = nullptr;
  std::shared_ptr<platform::ThumbnailGenerating> thumbnailGenerator_;
  bool expandedForDrag_ = false;
  bool isPresented_ = false;
  bool compositor_ = false;
};

}  // namespace tavrel
