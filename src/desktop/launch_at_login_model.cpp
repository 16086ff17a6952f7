#include "desktop/launch_at_login_model.h"

#include "desktop/bundle_identifier.h"

namespace tavrel {

LaunchAtLoginStatus launchAtLoginStatusFromRawValue(int rawValue) {
  switch (rawValue) {
    case LaunchAtLoginServicing::notRegistered: return LaunchAtLoginStatus::disabled;
    case LaunchAtLoginServicing::enabledStatus: return LaunchAtLoginStatus::enabled;
    case LaunchAtLoginServicing::requiresApprovalStatus: return LaunchAtLoginStatus::requiresApproval;
    default: return LaunchAtLoginStatus::unavailable;
  }
}

LaunchAtLoginModel::LaunchAtLoginModel(std::shared_ptr<LaunchAtLoginServicing> service)
    : service_(std::move(service)),
      status_(launchAtLoginStatusFromRawValue(service_->status())),
      logger_(std::string(bundleIdentifier), "LaunchAtLogin") {}

platform::Subscription LaunchAtLoginModel::subscribeStatus(std::function<void(const LaunchAtLoginStatus&)> observer) {
  return status_.subscribe(std::move(observer), platform::Delivery::removeDuplicates);
}

platform::Subscription LaunchAtLoginModel::subscribeFailureMessage(
    std::function<void(const std::optional<std::string>&)> observer) {
  return failureMessage_.subscribe(std::move(observer), platform::Delivery::removeDuplicates);
}

void LaunchAtLoginModel::setStatus(LaunchAtLoginStatus status) {
  if (status_.value() != status) status_.set(status);
}

void LaunchAtLoginModel::refresh() {
  setStatus(launchAtLoginStatusFromRawValue(service_->status()));
  if (failureMessage_.value()) failureMessage_.set(std::nullopt);
}

void LaunchAtLoginModel::setEnabled(bool enabled) {
  if (failureMessage_.value()) failureMessage_.set(std::nullopt);
  const auto result = enabled ? service_->registerLoginItem() : service_->unregisterLoginItem();
  setStatus(launchAtLoginStatusFromRawValue(service_->status()));
  if (result) return;

  const auto& error = result.error();
  logger_.error("Unable to update Open at Login: {} / {}; {}", platform::publicArg(error.domain), error.code,
                error.localizedDescription);
  // The status may already be what was asked for despite the error; then there is nothing to say.
  if (enabled != isOn()) failureMessage_.set(std::string(failureText));
}

}  // namespace tavrel
