#include <gtest/gtest.h>

#include <QSignalSpy>

#include "onboarding/onboarding_fakes.h"
#include "onboarding/onboarding_services.h"
#include "onboarding/onboarding_view_model.h"
#include "support/scripted_authentication.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

// The login item as the desktop keeps it; a change can be made to fail.
class LoginItems final : public LaunchAtLoginServicing {
 public:
  int rawStatus = notRegistered;
  bool fails = false;
  int settingsOpened = 0;

  int status() const override { return rawStatus; }
  platform::Expected<platform::Unit, LaunchAtLoginError> registerLoginItem() override {
    if (fails) return platform::unexpected(LaunchAtLoginError{"POSIX", 13, "Permission denied"});
    rawStatus = enabledStatus;
    return platform::Unit{};
  }
  platform::Expected<platform::Unit, LaunchAtLoginError> unregisterLoginItem() override {
    rawStatus = notRegistered;
    return platform::Unit{};
  }
  void openLoginItemsSettings() override { ++settingsOpened; }
};

// The view model over the program's own open-at-login model and preferences.
class OnboardingServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bench.signIn();
    model = std::make_unique<OnboardingViewModel>(
        OnboardingViewModel::Services{bench.store, std::make_shared<LaunchAtLoginModelSetting>(launchAtLogin),
                                      std::make_shared<AppPreferencesQuickDrop>(preferences),
                                      std::make_shared<testing::RecordingAnnouncer>(), bench.queue},
        [] {});
  }

  testing::AuthenticationStoreBench bench;
  testing::TemporaryDirectory folder;
  std::shared_ptr<LoginItems> items = std::make_shared<LoginItems>();
  std::shared_ptr<LaunchAtLoginModel> launchAtLogin = std::make_shared<LaunchAtLoginModel>(items);
  std::shared_ptr<AppPreferences> preferences =
      std::make_shared<AppPreferences>(std::make_shared<UserDefaults>(folder.path() / "defaults.json"));
  std::unique_ptr<OnboardingViewModel> model;
};

TEST_F(OnboardingServicesTest, TheToggleChangesTheLoginItemAndShowsWhatItBecame) {
  QSignalSpy changes(model.get(), &OnboardingViewModel::changed);
  EXPECT_FALSE(model->launchAtLoginOn());
  model->setLaunchAtLoginOn(true);
  EXPECT_TRUE(model->launchAtLoginOn());
  EXPECT_GE(changes.count(), 1);
  EXPECT_TRUE(model->launchAtLoginNote().isEmpty());

  model->setLaunchAtLoginOn(false);
  items->fails = true;
  model->setLaunchAtLoginOn(true);
  EXPECT_FALSE(model->launchAtLoginOn());
  EXPECT_EQ(model->launchAtLoginNote(), QString::fromUtf8(LaunchAtLoginModel::failureText));
  EXPECT_TRUE(model->launchAtLoginNoteOffersSettings());
  model->openLoginItemsSettings();
  EXPECT_EQ(items->settingsOpened, 1);
}

TEST_F(OnboardingServicesTest, TheIslandSwitchIsWrittenToThePreferences) {
  QSignalSpy changes(model.get(), &OnboardingViewModel::changed);
  model->setQuickDropEnabled(true);
  EXPECT_TRUE(preferences->isQuickDropEnabled());
  EXPECT_EQ(changes.count(), 1);
}

}  // namespace
}  // namespace tavrel
