#include "app/app_preferences.h"

#include <cmath>
#include <limits>

namespace tavrel {

namespace {

// A stored number's integer value (a fraction is cut off, a Boolean counts as 0 or 1); anything else
// is none.
std::optional<std::int64_t> integerValue(const std::optional<nlohmann::json>& value) {
  if (!value) return std::nullopt;
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  if (value->is_number_integer()) return value->get<std::int64_t>();
  if (value->is_number_unsigned()) {
    const auto number = value->get<std::uint64_t>();
    return number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(number);
  }
  if (value->is_number_float()) {
    const double number = std::trunc(value->get<double>());
    if (!std::isfinite(number)) return std::nullopt;
    if (number >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (number <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(number);
  }
  return std::nullopt;
}

std::int64_t readVersion(const UserDefaults& defaults) {
  const auto version = integerValue(defaults.value(AppPreferences::completedOnboardingVersionKey)).value_or(0);
  return version < 0 ? 0 : version;
}

bool readQuickDrop(const UserDefaults& defaults) {
  const auto stored = defaults.value(AppPreferences::quickDropEnabledKey);
  if (stored && stored->is_number_float()) return stored->get<double>() != 0.0;
  return integerValue(stored).value_or(0) != 0;
}

}  // namespace

AppPreferences::AppPreferences(std::shared_ptr<UserDefaults> userDefaults)
    : userDefaults_(std::move(userDefaults)),
      completedOnboardingVersion_(readVersion(*userDefaults_)),
      isQuickDropEnabled_(readQuickDrop(*userDefaults_)) {}

void AppPreferences::setCompletedOnboardingVersion(std::int64_t version) {
  completedOnboardingVersion_.set(version);
  // A failed write is logged by the defaults; the value holds for this run.
  userDefaults_->set(completedOnboardingVersionKey, version);
}

void AppPreferences::setQuickDropEnabled(bool enabled) {
  isQuickDropEnabled_.set(enabled);
  userDefaults_->set(quickDropEnabledKey, enabled);
}

platform::Subscription AppPreferences::subscribeCompletedOnboardingVersion(
    std::function<void(const std::int64_t&)> observer, platform::Delivery delivery) {
  return completedOnboardingVersion_.subscribe(std::move(observer), delivery);
}

platform::Subscription AppPreferences::subscribeQuickDropEnabled(std::function<void(const bool&)> observer,
                                                                 platform::Delivery delivery) {
  return isQuickDropEnabled_.subscribe(std::move(observer), delivery);
}

}  // namespace tavrel
