#pragma once

// What the onboarding window and the popover's menu show of open at login, and how they change it.
//
// IMPORTANT: Thread-safety. Main thread only; the service's calls are synchronous.

#include <memory>
#include <optional>
#include <string>

#include "desktop/launch_at_login_servicing.h"
#include "platform/logger.h"
#include "platform/observable.h"
#include "platform/translatable_text.h"

namespace tavrel {

class LaunchAtLoginModel {
 public:
  // Kept in English like the core's texts; the interface translates it where it shows it.
  static constexpr const char* failureText = TAVREL_TRANSLATE_NOOP(
      "Core", "Tavrel couldn’t update Open at Login. Try again or review Login Items in System Settings.");

  explicit LaunchAtLoginModel(std::shared_ptr<LaunchAtLoginServicing> service);

  const platform::Observable<LaunchAtLoginStatus>& status() const { return status_; }
  // Set when the last change did not take effect; cleared by every refresh and change.
  const platform::Observable<std::optional<std::string>>& failureMessage() const { return failureMessage_; }
  [[nodiscard]] platform::Subscription subscribeStatus(std::function<void(const LaunchAtLoginStatus&)> observer);
  [[nodiscard]] platform::Subscription subscribeFailureMessage(
      std::function<void(const std::optional<std::string>&)> observer);

  // Whether the setting shows as on: enabled, or registered and waiting for approval.
  bool isOn() const { return isOn(status_.value()); }
  static bool isOn(LaunchAtLoginStatus status) {
    return status == LaunchAtLoginStatus::enabled || status == LaunchAtLoginStatus::requiresApproval;
  }

  void refresh();
  // Never throws: a change that fails is logged, and when the item is then not as wanted, the
  // failure message says so.
  void setEnabled(bool enabled);

  LaunchAtLoginServicing& service() { return *service_; }

 private:
  void setStatus(LaunchAtLoginStatus status);

  std::shared_ptr<LaunchAtLoginServicing> service_;
  platform::Observable<LaunchAtLoginStatus> status_;
  platform::Observable<std::optional<std::string>> failureMessage_;
  platform::Logger logger_;
};

}  // namespace tavrel
