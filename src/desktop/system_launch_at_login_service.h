#pragma once

// Open at login through the desktop's autostart folder: the entry
// $XDG_CONFIG_HOME/autostart/com.tavrel.macos.desktop starts at login what the program's own desktop
// entry starts (the installed program, or the wrapper a developer's run installs), so the login start
// has the same configuration as a start from the menu and follows the program through upgrades. Only
// where no desktop entry is installed does it start the running executable.
//
//   entry present, not Hidden=true  -> enabled
//   entry absent, or hidden         -> disabled
//   nothing known to start          -> unavailable (status 3)
//   requires approval               -> never on this desktop
//
// The entry is written atomically (temporary file, flushed, renamed over it) and removed with
// unlink, so no half-written entry is ever started at login. An entry that links elsewhere (a
// dotfiles folder) is written through the link, which stays; a rewritten entry keeps its mode and
// group, and a new one is 0644.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/launch_at_login_servicing.h"
#include "platform/browser_launcher.h"

namespace tavrel {

// What the autostart entry runs: an Exec value in the desktop-entry form (quoted and escaped as an
// entry's Exec key holds it), without field codes.
struct LoginStartCommand {
  std::string exec;

  friend bool operator==(const LoginStartCommand&, const LoginStartCommand&) = default;
};

class SystemLaunchAtLoginService final : public LaunchAtLoginServicing {
 public:
  // The argument the entry adds to the command, so the program knows a login start from a start by
  // the user: at login it stays in the tray and shows nothing.
  static constexpr std::string_view loginStartOption = "--at-login";

  // `executable` is the program the entry starts; none when it cannot be known. `opener` shows the
  // autostart folder for openLoginItemsSettings(); may be null.
  SystemLaunchAtLoginService(std::filesystem::path autostartFolder, std::optional<std::filesystem::path> executable,
                             std::shared_ptr<platform::BrowserLaunching> opener);
  // The entry runs `command`; none when nothing is known to start.
  SystemLaunchAtLoginService(std::filesystem::path autostartFolder, std::optional<LoginStartCommand> command,
                             std::shared_ptr<platform::BrowserLaunching> opener);

  // The user's autostart folder ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart) and the
  // command of the program's installed desktop entry, else the running executable.
  static std::unique_ptr<SystemLaunchAtLoginService> forCurrentUser(std::shared_ptr<platform::BrowserLaunching> opener);

  // The desktop's application folders in the order it looks an entry up: $XDG_DATA_HOME (else
  // ~/.local/share), then each of $XDG_DATA_DIRS (else /usr/local/share:/usr/share), each + "applications".
  static std::vector<std::filesystem::path> applicationFolders();
  // The Exec of the program's desktop entry as the desktop finds it (the first folder holding
  // "com.tavrel.macos.desktop" wins), its field codes removed; none when no folder holds one, the
  // first one found is hidden, or its Exec is missing or unusable.
  static std::optional<LoginStartCommand> commandOfInstalledEntry(const std::vector<std::filesystem::path>& folders);
  // An entry's Exec value without its field codes (%u, %F, ...; "%%" stays); none when nothing is left
  // or it holds a control character.
  static std::optional<LoginStartCommand> commandFromExec(std::string_view exec);

  int status() const override;
  platform::Expected<platform::Unit, LaunchAtLoginError> registerLoginItem() override;
  platform::Expected<platform::Unit, LaunchAtLoginError> unregisterLoginItem() override;
  // Opens the desktop's own autostart settings where we know them (Plasma), else the autostart
  // folder in the file manager.
  void openLoginItemsSettings() override;

  // The program and arguments of the autostart settings of the desktop named by
  // $XDG_CURRENT_DESKTOP (a colon-separated list); empty when we know none.
  static std::vector<std::string> settingsCommand(std::string_view currentDesktop);

  // An entry written by an older build starts the program without loginStartOption, like a start
  // from the menu: the option is added to its Exec, everything else kept. Nothing happens when Open
  // at Login is off or the entry has it already.
  platform::Expected<platform::Unit, LaunchAtLoginError> addLoginStartOptionToOlderEntry();

  std::filesystem::path entryPath() const;
  // The entry's text for `executable`; none when the path cannot be written into an entry (a line
  // break in it).
  static std::optional<std::string> entryText(const std::filesystem::path& executable);
  static std::string entryText(const LoginStartCommand& command);

 private:
  platform::Expected<platform::Unit, LaunchAtLoginError> writeEntry(const std::string& text);

  std::filesystem::path autostartFolder_;
  std::optional<LoginStartCommand> command_;
  bool commandRefused_ = false;  // the executable's path cannot be written into an entry
  std::shared_ptr<platform::BrowserLaunching> opener_;
};

}  // namespace tavrel
