#pragma once

#include <QRect>
#include <QSize>
#include <memory>
#include <optional>

#include "menubar/menu_bar_surfaces.h"

class QQmlEngine;

namespace tavrel {

class TransferPopoverViewModel;
class PopoverDropTarget;

// The status item as a system tray icon (a StatusNotifierItem, or the X11 tray). Without a tray it
// shows nothing and says it is unavailable.
std::unique_ptr<MenuBarStatusItem> makeSystemTrayStatusItem();

// The popover as a frameless Qt Quick window below the tray icon, or as an ordinary window where
// it cannot be placed (no anchor, or a Wayland session).
std::unique_ptr<MenuBarPopoverWindow> makeQuickPopoverWindow(TransferPopoverViewModel& model,
                                                            PopoverDropTarget& dropTarget);

// Where a window of `size` goes below `anchor`: centred under it, above it when the screen has no
// room below, always inside `available`.
QRect popoverPlacement(const QRect& anchor, QSize size, const QRect& available);

}  // namespace tavrel
