#pragma once

// What the popover's menu needs of the user's settings: the island switch and open at login. The
// program's coordinator adapts its preferences and its open-at-login model to this.

#include <functional>
#include <optional>
#include <string>

#include "app/app_preferences.h"
#include "desktop/launch_at_login_model.h"
#include "desktop/launch_at_login_servicing.h"
#include "platform/observable.h"

namespace tavrel {

// IMPORTANT: Thread-safety. Main thread only.
class MenuBarSettings {
 public:
  virtual ~MenuBarSettings() = default;

  virtual bool isQuickDropEnabled() const = 0;
  virtual LaunchAtLoginStatus launchAtLoginStatus() const = 0;
  // Set when the last change of open at login failed.
  virtual std::optional<std::string> launchAtLoginFailureMessage() const = 0;
  virtual void setLaunchAtLoginEnabled(bool enabled) = 0;
  // Where the desktop lists the programs that start at login.
  virtual void openLoginItemsSettings() = 0;
  // Calls `onChange` after any of the values above changed.
  [[nodiscard]] virtual platform::Subscription subscribe(std::function<void()> onChange) = 0;
};

// The program's settings: its preferences and its open-at-login model, which must outlive it.
class AppMenuBarSettings final : public MenuBarSettings {
 public:
  AppMenuBarSettings(AppPreferences& preferences, LaunchAtLoginModel& launchAtLogin)
      : preferences_(preferences), launchAtLogin_(launchAtLogin) {}

  bool isQuickDropEnabled() const override { return preferences_.isQuickDropEnabled(); }
  LaunchAtLoginStatus launchAtLoginStatus() const override { return launchAtLogin_.status().value(); }
  std::optional<std::string> launchAtLoginFailureMessage() const override {
    return launchAtLogin_.failureMessage().value();
  }
  void setLaunchAtLoginEnabled(bool enabled) override { launchAtLogin_.setEnabled(enabled); }
  void openLoginItemsSettings() override { launchAtLogin_.service().openLoginItemsSettings(); }
  platform::Subscription subscribe(std::function<void()> onChange) override;

 private:
  AppPreferences& preferences_;
  LaunchAtLoginModel& launchAtLogin_;
};

}  // namespace tavrel
