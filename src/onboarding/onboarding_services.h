#pragma once

#include <memory>

#include "app/app_preferences.h"
#include "desktop/launch_at_login_model.h"
#include "onboarding/onboarding_ports.h"

namespace tavrel {

// The program's open-at-login model as the onboarding view uses it.
class LaunchAtLoginModelSetting final : public LaunchAtLoginSetting {
 public:
  explicit LaunchAtLoginModelSetting(std::shared_ptr<LaunchAtLoginModel> model) : model_(std::move(model)) {}

  Status status() const override { return model_->status().value(); }
  std::optional<std::string> failureMessage() const override { return model_->failureMessage().value(); }
  void setEnabled(bool enabled) override { model_->setEnabled(enabled); }
  void openLoginItemsSettings() override { model_->service().openLoginItemsSettings(); }
  platform::Subscription subscribeToChanges(std::function<void()> changed) override;

 private:
  std::shared_ptr<LaunchAtLoginModel> model_;
};

// The island switch of the program's preferences.
class AppPreferencesQuickDrop final : public QuickDropPreference {
 public:
  explicit AppPreferencesQuickDrop(std::shared_ptr<AppPreferences> preferences) : preferences_(std::move(preferences)) {}

  bool isQuickDropEnabled() const override { return preferences_->isQuickDropEnabled(); }
  void setQuickDropEnabled(bool enabled) override { preferences_->setQuickDropEnabled(enabled); }
  platform::Subscription subscribeToChanges(std::function<void()> changed) override;

 private:
  std::shared_ptr<AppPreferences> preferences_;
};

}  // namespace tavrel
