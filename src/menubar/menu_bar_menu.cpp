#include "menubar/menu_bar_menu.h"

#include <QtGlobal>

namespace tavrel {
namespace {

// Titles are the English texts or data; the view model translates them where it shows the menu,
// as their source says.

MenuBarMenuEntry item(std::string title, std::optional<std::string> symbol, std::optional<MenuBarMenuCommand> command,
                      bool enabled = true) {
  return MenuBarMenuItemDescriptor{std::move(title), std::move(symbol), command, enabled, {}, std::nullopt};
}

MenuBarMenuEntry informational(std::string text, std::optional<std::string> symbol, MenuBarMenuTitleSource source) {
  return MenuBarMenuItemDescriptor{std::move(text), std::move(symbol), std::nullopt, false, {}, std::nullopt, source};
}

}  // namespace

bool isLaunchAtLoginOn(LaunchAtLoginStatus status) {
  return status == LaunchAtLoginStatus::enabled || status == LaunchAtLoginStatus::requiresApproval;
}

std::vector<MenuBarMenuEntry> menuBarSignedInEntries(const AuthenticatedAccount& account, bool isQuickDropEnabled,
                                                     bool showsQuickDropToggle, LaunchAtLoginStatus launchAtLoginStatus,
                                                     const std::optional<std::string>& launchAtLoginFailureMessage) {
  using Command = MenuBarMenuCommand;
  const auto& user = account.bootstrap.user;
  std::vector<MenuBarMenuEntry> entries;
  entries.push_back(informational(user.displayName(), "person.crop.circle", MenuBarMenuTitleSource::account));
  if (user.hasName()) entries.push_back(informational(user.email, std::nullopt, MenuBarMenuTitleSource::account));
  entries.push_back(MenuBarMenuSeparator{});
  entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "View Transfers"), "arrow.left.arrow.right",
                         Command::viewTransfers));
  entries.push_back(MenuBarMenuSeparator{});
  if (showsQuickDropToggle) {
    MenuBarMenuItemDescriptor toggle{isQuickDropEnabled
                                         ? QT_TRANSLATE_NOOP("MenuBarMenu", "Disable Tavrel Island")
                                         : QT_TRANSLATE_NOOP("MenuBarMenu", "Enable Tavrel Island"),
                                     "button.roundedbottom.horizontal",
                                     Command::toggleQuickDrop,
                                     account.bootstrap.permissions.canInitiateTransfer,
                                     {},
                                     isQuickDropEnabled};
    entries.push_back(std::move(toggle));
    entries.push_back(MenuBarMenuSeparator{});
  }
  entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Transfer Settings"), "gearshape.fill",
                         Command::viewTransferSettings));
  entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Manage Account"), "person.crop.circle.fill",
                         Command::manageAccount));
  entries.push_back(MenuBarMenuSeparator{});
  MenuBarMenuItemDescriptor launch{QT_TRANSLATE_NOOP("MenuBarMenu", "Open at Login"),
                                   "power",
                                   Command::toggleLaunchAtLogin,
                                   true,
                                   {},
                                   isLaunchAtLoginOn(launchAtLoginStatus)};
  entries.push_back(std::move(launch));
  if (launchAtLoginStatus == LaunchAtLoginStatus::requiresApproval) {
    entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Approve in System Settings…"),
                           "exclamationmark.triangle", Command::openLoginItemsSettings));
  } else if (launchAtLoginFailureMessage) {
    // The message itself is not shown: the row says what failed and where to look.
    entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Couldn’t Update Open at Login"),
                           "exclamationmark.triangle", std::nullopt, false));
    entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Open Login Items Settings…"), "gearshape",
                           Command::openLoginItemsSettings));
  }
  entries.push_back(MenuBarMenuSeparator{});
  entries.push_back(
      item(QT_TRANSLATE_NOOP("MenuBarMenu", "Sign Out"), "person.crop.circle.badge.minus", Command::signOut));
  return entries;
}

std::vector<MenuBarMenuEntry> menuBarMenuEntries(const AuthenticationState& state, bool isQuickDropEnabled,
                                                 LaunchAtLoginStatus launchAtLoginStatus,
                                                 const std::optional<std::string>& launchAtLoginFailureMessage) {
  using Command = MenuBarMenuCommand;
  namespace auth = authentication_state;
  std::vector<MenuBarMenuEntry> entries;
  if (const auto* authenticated = std::get_if<auth::Authenticated>(&state)) {
    entries = menuBarSignedInEntries(authenticated->account, isQuickDropEnabled, false, launchAtLoginStatus,
                                     launchAtLoginFailureMessage);
  } else if (const auto* unavailable = std::get_if<auth::TemporarilyUnavailable>(&state)) {
    entries.push_back(informational(unavailable->message, "exclamationmark.triangle", MenuBarMenuTitleSource::core));
    entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Retry"), "arrow.clockwise", Command::retry));
    entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Sign Out"), "person.crop.circle.badge.minus",
                           Command::signOut));
  } else if (std::holds_alternative<auth::Restoring>(state)) {
    entries.push_back(
        item(QT_TRANSLATE_NOOP("MenuBarMenu", "Restoring Sign In..."), "clock", std::nullopt, false));
  } else if (std::holds_alternative<auth::SignedOut>(state)) {
    entries.push_back(item(QT_TRANSLATE_NOOP("MenuBarMenu", "Sign In"), "person.fill", Command::signIn));
  } else {
    entries.push_back(
        item(QT_TRANSLATE_NOOP("MenuBarMenu", "Complete Sign In in Browser"), "safari", std::nullopt, false));
    entries.push_back(
        item(QT_TRANSLATE_NOOP("MenuBarMenu", "Cancel Sign In"), "xmark", Command::cancelSignIn));
  }
  entries.push_back(MenuBarMenuSeparator{});
  entries.push_back(MenuBarMenuItemDescriptor{QT_TRANSLATE_NOOP("MenuBarMenu", "Quit Tavrel"), std::nullopt,
                                              Command::quit, true, "q", std::nullopt});
  return entries;
}

}  // namespace tavrel
