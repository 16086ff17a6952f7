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
  // Takes the item out of the tray for good.
  virtual void remove() = 0;

  // A primary click on the item.
  std::function<void()> onActivated;
  // A tray came (or came back with a restarted panel), or the panel changed its colours: the icon
  // and its texts are to be set again.
  std::function<void()> onChanged;
};

// The popover's window.
//
// IMPORTANT: Thread-safety. Main thread only.
class MenuBarPopoverWindow {
 public:
  virtual ~MenuBarPopoverWindow() = default;

  virtual bool isShown() const = 0;
  // Shows the window hanging below `anchor` (the tray icon's rectangle, or the pointer as a point),
  // kept inside the screen; without an anchor, as an ordinary window.
  virtual void show(const std::optional<QRect>& anchor, bool activating) = 0;
  // Brings the window to the front with the keyboard focus.
  virtual void activate() = 0;
  virtual void close() = 0;
  virtual QSize contentSize() const = 0;
  virtual void setContentSize(QSize size) = 0;
  virtual bool contains(QPoint globalPosition) const = 0;

  // The window closed, whoever closed it.
  std::function<void()> onClosed;
};

}  // namespace tavrel
