#include "app/app_environment.h"

#include <gtest/gtest.h>

#include "account/authentication_api_client.h"
#include "account/secret_service_refresh_token_store.h"
#include "desktop/system_launch_at_login_service.h"
#include "desktop/workspace_link_opener.h"
#include "platform/manual_main_queue.h"
#include "service/mock_upload_engine.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

TEST(AppEnvironmentTest, LiveServicesAreBuiltOnTheConfiguration) {
  testing::TemporaryDirectory folder;
  folder.writeFile("defaults.json", R"({"com.tavrel.onboarding.completedVersion": 1})");
  auto queue = std::make_shared<platform::ManualMainQueue>();
  const DesktopConfiguration configuration{*platform::Url::parse("https://app.example.com:8443"),
                                           {"uploads.example.com"}};
  auto loginItems = std::make_shared<SystemLaunchAtLoginService>(folder.path() / "autostart", "/usr/bin/tavrel", nullptr);

  const auto environment = AppEnvironment::make(queue, configuration,
                                                std::make_shared<UserDefaults>(folder.path() / "defaults.json"), loginItems);

  for (const bool present :
       {!!environment.filePreparer, !!environment.uploadEngine, !!environment.filePicker, !!environment.linkOpener,
        !!environment.clipboard, !!environment.transferNotifier, !!environment.clock, !!environment.authenticationAPI,
        !!environment.refreshTokenStore, !!environment.webAuthentication, !!environment.appPreferences}) {
    EXPECT_TRUE(present);
  }
  EXPECT_EQ(environment.launchAtLoginService, loginItems);

  EXPECT_EQ(environment.applicationLinks.webAppURL, configuration.webAppURL);
  const auto* opener = dynamic_cast<WorkspaceLinkOpener*>(environment.linkOpener.get());
  ASSERT_NE(opener, nullptr);
  EXPECT_EQ(opener->links(), environment.applicationLinks);
  EXPECT_EQ(environment.oauthConfiguration.webAppURL, configuration.webAppURL);

  auto expectedPolicy = UploadSecurityPolicy::defaultPolicy();
  expectedPolicy.allowedStorageHosts = {"uploads.example.com"};
  EXPECT_EQ(environment.uploadSecurityPolicy, expectedPolicy);

  EXPECT_EQ(environment.transferDefaults.expiryDays, 7);
  EXPECT_EQ(environment.transferDefaults.region, TransferRegion::na);
  EXPECT_FALSE(environment.transferDefaults.oneTimeDownload);
  EXPECT_FALSE(environment.transferDefaults.isReviewEnabled);
  EXPECT_FALSE(environment.transferDefaults.reviewAccessType);
  EXPECT_TRUE(environment.transferDefaults.filePreviewEnabled);

  const auto* engine = dynamic_cast<MockUploadEngine*>(environment.uploadEngine.get());
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(engine->duration(), 20.0);
  EXPECT_EQ(engine->updateInterval(), 0.1);

  const auto* api = dynamic_cast<AuthenticationAPIClient*>(environment.authenticationAPI.get());
  ASSERT_NE(api, nullptr);
  EXPECT_EQ(api->configuration(), environment.oauthConfiguration);

  const auto* tokens = dynamic_cast<SecretServiceRefreshTokenStore*>(environment.refreshTokenStore.get());
  ASSERT_NE(tokens, nullptr);
  EXPECT_EQ(tokens->service(), "com.tavrel.macos");
  EXPECT_EQ(tokens->account(), "oauth-refresh-token:https://app.example.com:8443");

  EXPECT_EQ(environment.appPreferences->completedOnboardingVersion(), 1);
}

}  // namespace
}  // namespace tavrel
