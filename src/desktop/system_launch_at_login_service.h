#pragma once

// Open at login through the desktop's autostart folder: the entry
// $XDG_CONFIG_HOME/autostart/com.tavrel.macos.desktop starts the running executable at login.
//
//   entry present, not Hidden=true  -> enabled
//   entry absent, or hidden         -> disabled
//   executable's path not known     -> unavailable (status 3)
//   requires approval               -> never on this desktop
//
// The entry is written atomically (temporary file, flushed, renamed over it) and removed with
// unlink, so no half-written entry is ever started at login.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/launch_at_login_servicing.h"
#include "platform/browser_launcher.h"

namespace tavrel {

class SystemLaunchAtLoginService final : public LaunchAtLoginServicing {
 public:
  // `executable` is the program the entry starts; none when it cannot be known. `opener` shows the
  // autostart folder for openLoginItemsSettings(); may be null.
  SystemLaunchAtLoginService(std::filesystem::path autostartFolder, std::optional<std::filesystem::path> executable,
                             std::shared_ptr<platform::BrowserLaunching> opener);

  // The user's autostart folder ($XDG_CONFIG_HOME/autostart, else ~/.config/autostart) and the
  // running executable.
  static std::unique_ptr<SystemLaunchAtLoginService> forCurrentUser(std::shared_ptr<platform::BrowserLaunching> opener);

  int status() const override;
  platform::Expected<platform::Unit, LaunchAtLoginError> registerLoginItem() override;
  platform::Expected<platform::Unit, LaunchAtLoginError> unregisterLoginItem() override;
  // Opens the desktop's own autostart settings where we know them (Plasma), else the autostart
  // folder in the file manager.
  void openLoginItemsSettings() override;

  // The program and arguments of the autostart settings of the desktop named by
  // $XDG_CURRENT_DESKTOP (a colon-separated list); empty when we know none.
  static std::vector<std::string> settingsCommand(std::string_view currentDesktop);

  std::filesystem::path entryPath() const;
  // The entry's text for `executable`; none when the path cannot be written into an entry (a line
  // break in it).
  static std::optional<std::string> entryText(const std::filesystem::path& executable);

 private:
  std::filesystem::path autostartFolder_;
  std::optional<std::filesystem::path> executable_;
  std::shared_ptr<platform::BrowserLaunching> opener_;
};

}  // namespace tavrel
