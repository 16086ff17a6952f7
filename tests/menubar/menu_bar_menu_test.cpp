#include <gtest/gtest.h>

#include "menubar/menu_bar_menu.h"

namespace tavrel {
namespace {

namespace auth = authentication_state;

// "title" per item, "-" per separator; disabled items in brackets, toggles with their state.
std::vector<std::string> outline(const std::vector<MenuBarMenuEntry>& entries) {
  std::vector<std::string> lines;
  for (const auto& entry : entries) {
    const auto* item = std::get_if<MenuBarMenuItemDescriptor>(&entry);
    if (!item) {
      lines.push_back("-");
      continue;
    }
    auto line = item->isEnabled ? item->title : "[" + item->title + "]";
    if (item->isOn) line += *item->isOn ? " (on)" : " (off)";
    lines.push_back(line);
  }
  return lines;
}

AuthenticatedAccount account(std::optional<std::string> name) {
  AuthenticatedAccount account;
  account.bootstrap.user.name = std::move(name);
  account.bootstrap.user.email = "ada@example.com";
  account.bootstrap.permissions.canInitiateTransfer = true;
  return account;
}

using Lines = std::vector<std::string>;

TEST(MenuBarMenu, EachSignInStateHasItsRowsAndEndsWithQuit) {
  const auto menu = [](AuthenticationState state) {
    return outline(menuBarMenuEntries(state, false, LaunchAtLoginStatus::disabled, std::nullopt));
  };
  EXPECT_EQ(menu(auth::Restoring{}), (Lines{"[Restoring Sign In...]", "-", "Quit Tavrel"}));
  EXPECT_EQ(menu(auth::SignedOut{}), (Lines{"Sign In", "-", "Quit Tavrel"}));
  EXPECT_EQ(menu(auth::Authorizing{}), (Lines{"[Complete Sign In in Browser]", "Cancel Sign In", "-", "Quit Tavrel"}));
  EXPECT_EQ(menu(auth::TemporarilyUnavailable{"No network"}),
            (Lines{"[No network]", "Retry", "Sign Out", "-", "Quit Tavrel"}));
  EXPECT_EQ(menu(auth::Authenticated{account("Ada")}),
            (Lines{"[Ada]", "[ada@example.com]", "-", "View Transfers", "-", "Transfer Settings", "Manage Account", "-",
                   "Open at Login (off)", "-", "Sign Out", "-", "Quit Tavrel"}));

  const auto entries = menuBarMenuEntries(auth::SignedOut{}, false, LaunchAtLoginStatus::disabled, std::nullopt);
  const auto& quit = std::get<MenuBarMenuItemDescriptor>(entries.back());
  EXPECT_EQ(quit.keyEquivalent, "q");
  EXPECT_EQ(quit.command, MenuBarMenuCommand::quit);
}

TEST(MenuBarMenu, AUserWithoutANameIsShownByEmailOnce) {
  // A blank name counts as none, as on the onboarding greeting: never an empty first row.
  for (const auto& name : {std::optional<std::string>(), std::optional<std::string>(" \t")}) {
    const auto lines =
        outline(menuBarSignedInEntries(account(name), false, false, LaunchAtLoginStatus::enabled, std::nullopt));
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2), (Lines{"[ada@example.com]", "-"}));
  }
}

TEST(MenuBarMenu, OpenAtLoginRowsFollowTheDesktopsAnswer) {
  const auto rows = [](LaunchAtLoginStatus status, std::optional<std::string> failure) {
    auto lines = outline(menuBarSignedInEntries(account("Ada"), false, false, status, failure));
    const auto start = std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.starts_with("Open at Login"); });
    return Lines(start, lines.end() - 2);
  };
  EXPECT_EQ(rows(LaunchAtLoginStatus::requiresApproval, "ignored"),
            (Lines{"Open at Login (on)", "Approve in System Settings…"}));
  EXPECT_EQ(rows(LaunchAtLoginStatus::unavailable, std::nullopt), (Lines{"Open at Login (off)"}));
  EXPECT_EQ(rows(LaunchAtLoginStatus::disabled, "It failed."),
            (Lines{"Open at Login (off)", "[Couldn’t Update Open at Login]", "Open Login Items Settings…"}));
}

TEST(MenuBarMenu, TheIslandSwitchNeedsPermissionToSend) {
  auto withoutPermission = account("Ada");
  withoutPermission.bootstrap.permissions.canInitiateTransfer = false;
  const auto lines =
      outline(menuBarSignedInEntries(withoutPermission, true, true, LaunchAtLoginStatus::disabled, std::nullopt));
  EXPECT_EQ(lines[5], "[Disable Tavrel Island] (on)");
  EXPECT_EQ(lines[6], "-");
}

}  // namespace
}  // namespace tavrel
