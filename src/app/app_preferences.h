#pragma once

// The user's two preferences, published for observers and written through on every change.
//
// IMPORTANT: Thread-safety. Main thread only; observers run synchronously inside the setter, before
// the value is written to the defaults file.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "app/user_defaults.h"
#include "platform/observable.h"

namespace tavrel {

class AppPreferences {
 public:
  static constexpr std::string_view completedOnboardingVersionKey = "com.tavrel.onboarding.completedVersion";
  static constexpr std::string_view quickDropEnabledKey = "com.tavrel.quickDrop.enabled";

  // Reads both keys; values of another type, and a negative version, read as the defaults (0 and
  // false) without touching the file.
  explicit AppPreferences(std::shared_ptr<UserDefaults> userDefaults);
  AppPreferences(const AppPreferences&) = delete;
  AppPreferences& operator=(const AppPreferences&) = delete;

  // The version of onboarding the user completed; 0 means never.
  std::int64_t completedOnboardingVersion() const { return completedOnboardingVersion_.value(); }
  void setCompletedOnboardingVersion(std::int64_t version);
  [[nodiscard]] platform::Subscription subscribeCompletedOnboardingVersion(
      std::function<void(const std::int64_t&)> observer, platform::Delivery delivery = platform::Delivery::everyChange);

  // The island interface's switch; nothing in the program turns it on.
  bool isQuickDropEnabled() const { return isQuickDropEnabled_.value(); }
  void setQuickDropEnabled(bool enabled);
  [[nodiscard]] platform::Subscription subscribeQuickDropEnabled(
      std::function<void(const bool&)> observer, platform::Delivery delivery = platform::Delivery::everyChange);

  const UserDefaults& userDefaults() const { return *userDefaults_; }

 private:
  std::shared_ptr<UserDefaults> userDefaults_;
  platform::Observable<std::int64_t> completedOnboardingVersion_;
  platform::Observable<bool> isQuickDropEnabled_;
};

}  // namespace tavrel
