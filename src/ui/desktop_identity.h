#pragma once

#include <QIcon>
#include <string_view>

#include "desktop/bundle_identifier.h"

namespace tavrel::ui {

// How the desktop ties a program's windows to its installed application entry, and so to the
// entry's name and icon:
// - `desktopFileName`, the entry's file name without ".desktop": the Wayland app id, which GNOME
//   and KDE go by natively, and on X11 the _KDE_NET_WM_DESKTOP_FILE that KDE's task manager and
//   window decorations read;
// - `windowClass`, the application name, which Qt makes the class of every window's WM_CLASS: GNOME
//   matches it against the entry's StartupWMClass under X11 and XWayland.
// Each program's entry (packaging/) names both; the window icon stands in wherever no entry answers
// or the icon theme lacks the entry's icon (a build run from the checkout).
struct DesktopIdentity {
  std::string_view windowClass;
  std::string_view desktopFileName;
};

inline constexpr DesktopIdentity programIdentity{"Tavrel", bundleIdentifier};
// The share program's own entry, out of menus: its sheet is no window of the program's.
inline constexpr DesktopIdentity shareProgramIdentity{"tavrel-share", "com.tavrel.macos.share"};

// Gives the application its identity and its windows the product's icon. Call once the application
// object exists, before the first window.
void applyDesktopIdentity(const DesktopIdentity& identity);

// The product's icon, drawn at the sizes window managers and task bars ask for.
QIcon applicationIcon();

}  // namespace tavrel::ui
