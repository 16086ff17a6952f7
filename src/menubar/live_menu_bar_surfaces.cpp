#include "menubar/live_menu_bar_surfaces.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>

#include "menubar/popover_drop_target.h"
#include "menubar/status_icon/menu_bar_status_icon_renderer.h"
#include "menubar/tray_host_watcher.h"
#include "menubar/transfer_popover_view_model.h"
#include "ui/color_scheme.h"
#include "ui/interface_setup.h"

namespace tavrel {
namespace {

// A Wayland session, natively or through XWayland: the compositor keeps the pointer's place from
// us. XWayland still answers a query, with wherever the pointer last crossed one of its windows.
bool isWaylandSession() {
  return QGuiApplication::platformName() == QStringLiteral("wayland") ||
         qEnvironmentVariable("XDG_SESSION_TYPE") == QStringLiteral("wayland") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

class SystemTrayStatusItem final : public MenuBarStatusItem {
 public:
  SystemTrayStatusItem() {
    QObject::connect(&hosts_, &TrayHostWatcher::hostAppeared, [this] { trayAppeared(); });
    QObject::connect(&panelScheme_, &ui::PanelColorSchemeWatcher::changed, [this] {
      if (onChanged) onChanged();
    });
    // Qt's tray check is made only once a host is known to be there: Qt decides once per process
    // whether to speak the StatusNotifierItem protocol, and would keep to the X11 tray if asked
    // before a late panel's host registered.
    if (hosts_.isHostPresent() && QSystemTrayIcon::isSystemTrayAvailable()) createIcon();
  }

  bool isAvailable() const override { return icon_ != nullptr; }

  QColor iconColor() const override { return MenuBarStatusIconRenderer::colorFor(panelScheme_.scheme()); }

  void setIcon(const QIcon& icon) override {
    if (!icon_) return;
    icon_->setIcon(icon);
    icon_->show();
  }

  void setTexts(const QString& toolTip, const QString&, const QString&) override {
    // What the tray carries: the item's title is the application name ("Tavrel"), and the tooltip
    // says the state. Neither protocol has an accessible help or value, and Qt fills the tooltip's
    // second line only while asking for attention, so the help and value go nowhere; the tooltip
    // holds the same state they would.
    toolTip_ = toolTip.toHtmlEscaped();
    if (icon_) icon_->setToolTip(toolTip_);
  }

  std::optional<QRect> geometry() const override {
    if (!icon_) return std::nullopt;
    const auto rect = icon_->geometry();
    return rect.isEmpty() ? std::nullopt : std::optional(rect);
  }

  std::optional<QPoint> pointerPosition() const override {
    if (isWaylandSession()) return std::nullopt;
    return QCursor::pos();
  }

  void remove() override {
    removed_ = true;
    icon_.reset();
  }

 private:
  void createIcon() {
    icon_ = std::make_unique<QSystemTrayIcon>();
    icon_->setToolTip(toolTip_);
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
      // The second of two quick clicks arrives as a double click, not as a second trigger. The icon
      // has no menu of its own (the popover holds it): a secondary click, which KDE's tray sends as
      // the item's ContextMenu call, opens the popover too.
      if ((reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick ||
           reason == QSystemTrayIcon::Context) &&
          onActivated) {
        onActivated();
      }
    });
  }

  // A panel that starts late or restarts knows nothing of an item registered before it: a new
  // icon registers with it. Without a host now, the icon there is kept.
  void trayAppeared() {
    if (removed_ || !hosts_.isHostPresent() || !QSystemTrayIcon::isSystemTrayAvailable()) return;
    icon_.reset();
    createIcon();
    if (onChanged) onChanged();
  }

  TrayHostWatcher hosts_;
  ui::PanelColorSchemeWatcher panelScheme_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  QString toolTip_;
  bool removed_ = false;
};

class QuickPopoverWindow final : public MenuBarPopoverWindow {
 public:
  QuickPopoverWindow(TransferPopoverViewModel& model, PopoverDropTarget& dropTarget) {
    ui::prepareEngine(*view_.engine());
    view_.setColor(Qt::black);
    view_.setResizeMode(QQuickView::SizeRootObjectToView);
    view_.setTitle(QStringLiteral("Tavrel"));
    view_.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue<QObject*>(&model)},
                                {QStringLiteral("dropTarget"), QVariant::fromValue<QObject*>(&dropTarget)}});
    view_.setSource(QUrl(QStringLiteral("qrc:/qt/qml/Tavrel/MenuBar/TransferPopoverView.qml")));
    QObject::connect(&view_, &QWindow::visibleChanged, [this](bool visible) {
      if (!visible && onClosed) onClosed();
    });
  }

  bool isShown() const override { return view_.isVisible(); }

  void show(const PopoverAnchor& anchor, bool activating) override {
    // On Wayland the compositor alone places windows: an ordinary one, where it puts a window.
    placed_ = !std::holds_alternative<popover_anchor::OrdinaryWindow>(anchor) &&
              QGuiApplication::platformName() != QStringLiteral("wayland");
    const auto* beside = std::get_if<QRect>(&anchor);
    anchor_ = placed_ && beside ? std::optional(*beside) : std::nullopt;
    view_.setFlags(placed_ ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint : Qt::Window);
    // Fixed before the first show too: the controller leaves the limits alone while the size it
    // wants is the size the window has.
    view_.setMinimumSize(view_.size());
    view_.setMaximumSize(view_.size());
    if (placed_) place(view_.size());
    if (activating) view_.show();
    else view_.showNormal();
    if (activating) activate();
  }

  void activate() override {
    view_.raise();
    view_.requestActivate();
  }

  void close() override { view_.close(); }
  QSize contentSize() const override { return view_.size(); }

  void setContentSize(QSize size) override {
    view_.setMinimumSize(size);
    view_.setMaximumSize(size);
    // Growing from its top edge would run a popover above a bottom panel off the screen.
    if (placed_) place(size);
    else view_.resize(size);
  }

  bool contains(QPoint globalPosition) const override {
    return view_.isVisible() && view_.geometry().contains(globalPosition);
  }

  QWindow* window() override { return &view_; }

 private:
  void place(QSize size) {
    auto* screen = anchor_ ? QGuiApplication::screenAt(anchor_->center()) : nullptr;
    // Before the icon's place is known: the primary screen, where the desktop's main panel is.
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return view_.resize(size);
    view_.setGeometry(popoverPlacement(anchor_, size, screen->geometry(), screen->availableGeometry()));
  }

  QQuickView view_;
  // Placed by us (beside the tray, or in its corner of the work area), not by the window manager.
  bool placed_ = false;
  // The rectangle it hangs from, the icon's or the last click's; none for the tray's corner.
  std::optional<QRect> anchor_;
};

}  // namespace

std::unique_ptr<MenuBarStatusItem> makeSystemTrayStatusItem() { return std::make_unique<SystemTrayStatusItem>(); }

std::unique_ptr<MenuBarPopoverWindow> makeQuickPopoverWindow(TransferPopoverViewModel& model,
                                                            PopoverDropTarget& dropTarget) {
  return std::make_unique<QuickPopoverWindow>(model, dropTarget);
}

}  // namespace tavrel
