#pragma once

#include <QRect>
#include <QSize>
#include <memory>
#include <optional>

#include "menubar/menu_bar_surfaces.h"
#include "menubar/popover_placement.h"

class QQmlEngine;

namespace tavrel {

class TransferPopoverViewModel;
class PopoverDropTarget;

// The status item as a system tray icon (a StatusNotifierItem, or the X11 tray). Without a tray it
// shows nothing and says it is unavailable.
std::unique_ptr<MenuBarStatusItem> makeSystemTrayStatusItem();

// The popover as a frameless Qt Quick window beside the tray icon, or in the tray's corner of the
// work area while the icon's place is unknown; as an ordinary window where it cannot be placed (no
// tray, or a native Wayland session, where the compositor places it).
std::unique_ptr<MenuBarPopoverWindow> makeQuickPopoverWindow(TransferPopoverViewModel& model,
                                                            PopoverDropTarget& dropTarget);

}  // namespace tavrel
