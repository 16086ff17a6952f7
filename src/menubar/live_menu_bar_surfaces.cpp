#include "menubar/live_menu_bar_surfaces.h"

#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSystemTrayIcon>
#include <algorithm>

#include "menubar/popover_drop_target.h"
#include "menubar/transfer_popover_view_model.h"
#include "ui/interface_setup.h"

namespace tavrel {
namespace {

constexpr int anchorGap = 4;

class SystemTrayStatusItem final : public MenuBarStatusItem {
 public:
  SystemTrayStatusItem() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    icon_ = std::make_unique<QSystemTrayIcon>();
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
      // The second of two quick clicks arrives as a double click, not as a second trigger.
      if ((reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) && onActivated) onActivated();
    });
  }

  bool isAvailable() const override { return icon_ != nullptr; }

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
    if (icon_) icon_->setToolTip(toolTip.toHtmlEscaped());
  }

  std::optional<QRect> geometry() const override {
    if (!icon_) return std::nullopt;
    const auto rect = icon_->geometry();
    return rect.isEmpty() ? std::nullopt : std::optional(rect);
  }

  void remove() override { icon_.reset(); }

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
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

  void show(const std::optional<QRect>& anchor, bool activating) override {
    const bool placeable = anchor && QGuiApplication::platformName() != QStringLiteral("wayland");
    if (placeable) {
      view_.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
      auto* screen = QGuiApplication::screenAt(anchor->center());
      if (!screen) screen = QGuiApplication::primaryScreen();
      view_.setGeometry(popoverPlacement(*anchor, view_.size(), screen->availableGeometry()));
    } else {
      view_.setFlags(Qt::Window);
    }
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
    // A popover that grows keeps its top edge under the tray icon.
    view_.resize(size);
    view_.setMinimumSize(size);
    view_.setMaximumSize(size);
  }

  bool contains(QPoint globalPosition) const override {
    return view_.isVisible() && view_.geometry().contains(globalPosition);
  }

 private:
  QQuickView view_;
};

}  // namespace

QRect popoverPlacement(const QRect& anchor, QSize size, const QRect& available) {
  QRect placed(QPoint(anchor.x() + anchor.width() / 2 - size.width() / 2, anchor.bottom() + 1 + anchorGap), size);
  if (placed.bottom() > available.bottom()) placed.moveBottom(anchor.top() - 1 - anchorGap);
  placed.moveLeft(std::clamp(placed.left(), available.left(), std::max(available.left(), available.right() + 1 - size.width())));
  placed.moveTop(std::clamp(placed.top(), available.top(), std::max(available.top(), available.bottom() + 1 - size.height())));
  return placed;
}

std::unique_ptr<MenuBarStatusItem> makeSystemTrayStatusItem() { return std::make_unique<SystemTrayStatusItem>(); }

std::unique_ptr<MenuBarPopoverWindow> makeQuickPopoverWindow(TransferPopoverViewModel& model,
                                                            PopoverDropTarget& dropTarget) {
  return std::make_unique<QuickPopoverWindow>(model, dropTarget);
}

}  // namespace tavrel
