#include "menubar/menu_bar_settings.h"

#include <memory>
#include <vector>

namespace tavrel {

platform::Subscription AppMenuBarSettings::subscribe(std::function<void()> onChange) {
  // Each observable delivers its current value at once; only later changes are news.
  auto subscriptions = std::make_shared<std::vector<platform::Subscription>>();
  auto notify = [onChange = std::move(onChange)](bool& first) {
    if (!std::exchange(first, false)) onChange();
  };
  subscriptions->push_back(preferences_.subscribeQuickDropEnabled(
      [notify, first = true](const bool&) mutable { notify(first); }));
  subscriptions->push_back(launchAtLogin_.subscribeStatus(
      [notify, first = true](const LaunchAtLoginStatus&) mutable { notify(first); }));
  subscriptions->push_back(launchAtLogin_.subscribeFailureMessage(
      [notify, first = true](const std::optional<std::string>&) mutable { notify(first); }));
  return platform::Subscription([subscriptions] { subscriptions->clear(); });
}

}  // namespace tavrel
