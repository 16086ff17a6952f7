#pragma once

#include <string>

#include "platform/expected.h"

namespace tavrel {

// Whether the program opens at login. `enabled` and `requiresApproval` count as on.
enum class LaunchAtLoginStatus { disabled, enabled, requiresApproval, unavailable };

// 0, 1 and 2 are disabled, enabled and requires approval; every other value, 3 included, unavailable.
LaunchAtLoginStatus launchAtLoginStatusFromRawValue(int rawValue);

// Why a change of the login item did not go through. Logged, never shown as it is.
struct LaunchAtLoginError {
  std::string domain;  // "POSIX" for a system call's errno
  long code = 0;
  std::string localizedDescription;

  friend bool operator==(const LaunchAtLoginError&, const LaunchAtLoginError&) = default;
};

// The login item of the program. Calls are synchronous and made on the main thread.
class LaunchAtLoginServicing {
 public:
  // Raw status values: not registered, enabled, requires approval, not found.
  static constexpr int notRegistered = 0;
  static constexpr int enabledStatus = 1;
  static constexpr int requiresApprovalStatus = 2;
  static constexpr int notFound = 3;

  virtual ~LaunchAtLoginServicing() = default;

  virtual int status() const = 0;
  virtual platform::Expected<platform::Unit, LaunchAtLoginError> registerLoginItem() = 0;
  // Removes the registration; does nothing, successfully, while the item is neither enabled nor
  // waiting for approval.
  virtual platform::Expected<platform::Unit, LaunchAtLoginError> unregisterLoginItem() = 0;
  // Shows the user where login items are managed.
  virtual void openLoginItemsSettings() = 0;
};

}  // namespace tavrel
