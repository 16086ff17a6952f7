#include <gtest/gtest.h>

#include "menubar/menu_bar_settings.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

class ScriptedLoginItem final : public LaunchAtLoginServicing {
 public:
  int status() const override { return rawStatus; }
  platform::Expected<platform::Unit, LaunchAtLoginError> registerLoginItem() override {
    rawStatus = 1;
    return platform::Unit{};
  }
  platform::Expected<platform::Unit, LaunchAtLoginError> unregisterLoginItem() override {
    rawStatus = 0;
    return platform::Unit{};
  }
  void openLoginItemsSettings() override { ++settingsOpened; }
  int rawStatus = 0;
  int settingsOpened = 0;
};

TEST(AppMenuBarSettings, ReadsTheProgramsSettingsAndReportsOnlyLaterChanges) {
  testing::TemporaryDirectory directory;
  AppPreferences preferences(std::make_shared<UserDefaults>(directory.path() / "defaults.json"));
  auto service = std::make_shared<ScriptedLoginItem>();
  LaunchAtLoginModel launchAtLogin(service);
  launchAtLogin.refresh();
  AppMenuBarSettings settings(preferences, launchAtLogin);

  int changes = 0;
  auto subscription = settings.subscribe([&] { ++changes; });
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(settings.launchAtLoginStatus(), LaunchAtLoginStatus::disabled);

  settings.setLaunchAtLoginEnabled(true);
  EXPECT_EQ(settings.launchAtLoginStatus(), LaunchAtLoginStatus::enabled);
  EXPECT_GE(changes, 1);
  const auto afterLaunch = changes;
  preferences.setQuickDropEnabled(true);
  EXPECT_TRUE(settings.isQuickDropEnabled());
  EXPECT_EQ(changes, afterLaunch + 1);
  settings.openLoginItemsSettings();
  EXPECT_EQ(service->settingsOpened, 1);

  subscription.reset();
  preferences.setQuickDropEnabled(false);
  EXPECT_EQ(changes, afterLaunch + 1);
}

}  // namespace
}  // namespace tavrel
