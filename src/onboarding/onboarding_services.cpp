#include "onboarding/onboarding_services.h"

namespace tavrel {

platform::Subscription LaunchAtLoginModelSetting::subscribeToChanges(std::function<void()> changed) {
  // Status and message change separately; both end in one subscription. The first delivery of each
  // (the current value) is not a change.
  auto shared = std::make_shared<std::function<void()>>(std::move(changed));
  auto status = std::make_shared<platform::Subscription>(
      model_->subscribeStatus([shared, first = true](const LaunchAtLoginStatus&) mutable {
        if (!std::exchange(first, false)) (*shared)();
      }));
  auto message = std::make_shared<platform::Subscription>(
      model_->subscribeFailureMessage([shared, first = true](const std::optional<std::string>&) mutable {
        if (!std::exchange(first, false)) (*shared)();
      }));
  return platform::Subscription([status, message] {
    status->reset();
    message->reset();
  });
}

platform::Subscription AppPreferencesQuickDrop::subscribeToChanges(std::function<void()> changed) {
  return preferences_->subscribeQuickDropEnabled([changed = std::move(changed), first = true](const bool&) mutable {
    if (!std::exchange(first, false)) changed();
  });
}

}  // namespace tavrel
