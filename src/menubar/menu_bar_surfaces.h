#pragma once

// What the menu-bar controller needs of the desktop: the tray icon and the popover's window. The
// program uses the system tray and a Qt Quick window; tests use stand-ins.

#include <QColor>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

class QWindow;

namespace tavrel {

// The status item in the panel's tray.
//
// IMPORTANT: Thread-safety. Main thread only.
class MenuBarStatusItem {
 public:
  virtual ~MenuBarStatusItem() = default;

  // Whether a tray shows the item. Without one, the popover opens as an ordinary window.
  virtual bool isAvailable() const = 0;
  // The colour the icon is drawn in: the one that stands out on the panel behind it.
  virtual QColor iconColor() const = 0;
  virtual void setIcon(const QIcon& icon) = 0;
  // The tooltip, and the help and value an assistive tool reads.
  virtual void setTexts(const QString& toolTip, const QString& accessibleHelp, const QString& accessibleValue) = 0;
  // The icon's rectangle on screen, where the tray reports one.
  virtual std::optional<QRect> geometry() const = 0;
  // Where the pointer is, read as the item is clicked: the click's place, for trays that hide the
  // icon's. None where no reading can be trusted: a Wayland session, also through XWayland, whose
  // reading is wherever the pointer last crossed one of its X11 windows.
  virtual std::optional<QPoint> pointerPosition() const = 0;
  // Takes the item out of the tray for good.
  virtual void remove() = 0;

  // A click on the item: a primary one, or a secondary one (the item has no menu of its own).
  std::function<void()> onActivated;
  // A tray came (or came back with a restarted panel), or the panel changed its colours: the icon
  // and its texts are to be set again.
  std::function<void()> onChanged;
};

// Where the popover opens.
namespace popover_anchor {
// No tray: an ordinary window, placed by the window manager.
struct OrdinaryWindow {
  friend bool operator==(const OrdinaryWindow&, const OrdinaryWindow&) = default;
};
// A tray shows the icon, but neither the tray nor a click on it told where: the corner of the work
// area by the tray's panel.
struct TrayCorner {
  friend bool operator==(const TrayCorner&, const TrayCorner&) = default;
};
}  // namespace popover_anchor
// The third case: hanging beside this rectangle, the icon's or the last click on it (1 x 1).
using PopoverAnchor = std::variant<popover_anchor::OrdinaryWindow, popover_anchor::TrayCorner, QRect>;

// The popover's window.
//
// IMPORTANT: Thread-safety. Main thread only.
class MenuBarPopoverWindow {
 public:
  virtual ~MenuBarPopoverWindow() = default;

  virtual bool isShown() const = 0;
  // Shows the window where `anchor` says, kept inside the screen's work area. Its size limits are
  // set before it shows: a tiling window manager floats a window of fixed size, and tiles (fills
  // the screen with) any other.
  virtual void show(const PopoverAnchor& anchor, bool activating) = 0;
  // Brings the window to the front with the keyboard focus.
  virtual void activate() = 0;
  virtual void close() = 0;
  virtual QSize contentSize() const = 0;
  virtual void setContentSize(QSize size) = 0;
  virtual bool contains(QPoint globalPosition) const = 0;
  // The window itself, which the dialogs opened from the popover belong to; none for a stand-in.
  virtual QWindow* window() = 0;

  // The window closed, whoever closed it.
  std::function<void()> onClosed;
};

}  // namespace tavrel
