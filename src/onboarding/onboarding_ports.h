#pragma once

#include <functional>
#include <optional>
#include <string>

#include "desktop/launch_at_login_servicing.h"
#include "platform/observable.h"

namespace tavrel {

// What the onboarding window needs of the program's services, kept small so the view model is
// tested against the real authentication store with simple fakes for the rest; the window
// controller adapts the program's LaunchAtLoginModel and AppPreferences to them. Main thread only.

// The open-at-login setting: the login item's status as the desktop reports it and the text of the
// last failed change.
class LaunchAtLoginSetting {
 public:
  using Status = LaunchAtLoginStatus;

  virtual ~LaunchAtLoginSetting() = default;
  virtual Status status() const = 0;
  virtual std::optional<std::string> failureMessage() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  // Opens the desktop's settings where the user reviews programs started at login.
  virtual void openLoginItemsSettings() = 0;
  // `changed` runs after every change of status or failure message.
  [[nodiscard]] virtual platform::Subscription subscribeToChanges(std::function<void()> changed) = 0;
};

// The island switch of the user's preferences.
class QuickDropPreference {
 public:
  virtual ~QuickDropPreference() = default;
  virtual bool isQuickDropEnabled() const = 0;
  virtual void setQuickDropEnabled(bool enabled) = 0;
  [[nodiscard]] virtual platform::Subscription subscribeToChanges(std::function<void()> changed) = 0;
};

// Whether the desktop has a tray that shows the program's icon: a panel may start or quit while
// the window shows.
class TrayPresence {
 public:
  virtual ~TrayPresence() = default;
  virtual bool isTrayPresent() const = 0;
  [[nodiscard]] virtual platform::Subscription subscribeToChanges(std::function<void()> changed) = 0;
};

}  // namespace tavrel
