#pragma once

// The popover's ellipsis menu as plain values: which rows show for the sign-in state, the island
// switch and open at login. The popover renders them and dispatches the chosen command.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "menubar/menu_bar_settings.h"
#include "records/account_models.h"

namespace tavrel {

enum class MenuBarMenuCommand {
  signIn,
  cancelSignIn,
  retry,
  toggleQuickDrop,
  toggleLaunchAtLogin,
  openLoginItemsSettings,
  viewTransfers,
  viewTransferSettings,
  manageAccount,
  signOut,
  quit,
};

// Where a row's title comes from, and so how it is translated.
enum class MenuBarMenuTitleSource {
  menu,     // the menu's own English title, catalogued under "MenuBarMenu"
  core,     // a message of the core (sign-in unavailable), translated as the core's
  account,  // the user's name or e-mail: shown as it is, never looked up
};

struct MenuBarMenuItemDescriptor {
  std::string title;                       // English, or data as it came (see titleSource)
  std::optional<std::string> systemImage;  // none: text only
  std::optional<MenuBarMenuCommand> command;  // none: an informational row
  bool isEnabled = true;
  std::string keyEquivalent;  // "q" on the quit item
  std::optional<bool> isOn;   // toggle rows only
  MenuBarMenuTitleSource titleSource = MenuBarMenuTitleSource::menu;

  friend bool operator==(const MenuBarMenuItemDescriptor&, const MenuBarMenuItemDescriptor&) = default;
};

struct MenuBarMenuSeparator {
  friend bool operator==(const MenuBarMenuSeparator&, const MenuBarMenuSeparator&) = default;
};

using MenuBarMenuEntry = std::variant<MenuBarMenuItemDescriptor, MenuBarMenuSeparator>;

// The signed-in rows: the account, the pages, the island switch (when shown), open at login and
// sign-out.
std::vector<MenuBarMenuEntry> menuBarSignedInEntries(const AuthenticatedAccount& account, bool isQuickDropEnabled,
                                                     bool showsQuickDropToggle, LaunchAtLoginStatus launchAtLoginStatus,
                                                     const std::optional<std::string>& launchAtLoginFailureMessage);

// The whole menu for a sign-in state, always ending with a separator and "Quit Tavrel". The popover
// never shows the island switch.
std::vector<MenuBarMenuEntry> menuBarMenuEntries(const AuthenticationState& state, bool isQuickDropEnabled,
                                                 LaunchAtLoginStatus launchAtLoginStatus,
                                                 const std::optional<std::string>& launchAtLoginFailureMessage);

// Whether open at login counts as on: enabled, or waiting for the user's approval.
bool isLaunchAtLoginOn(LaunchAtLoginStatus status);

}  // namespace tavrel
