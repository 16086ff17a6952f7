#include "app/app_environment.h"

#include "account/authentication_api_client.h"
#include "account/secret_service_refresh_token_store.h"
#include "account/web_authentication_client.h"
#include "desktop/bundle_identifier.h"
#include "desktop/freedesktop_notification_center.h"
#include "desktop/system_clipboard.h"
#include "desktop/system_launch_at_login_service.h"
#include "desktop/system_transfer_file_picker.h"
#include "desktop/system_transfer_notifier.h"
#include "desktop/workspace_link_opener.h"
#include "platform/browser_launcher.h"
#include "service/http_session.h"
#include "service/mock_upload_engine.h"
#include "transfer/local_transfer_file_preparer.h"

namespace tavrel {

TransferDefaults AppEnvironment::initialTransferDefaults() {
  TransferDefaults defaults;
  defaults.expiryDays = 7;
  defaults.region = TransferRegion::na;
  defaults.oneTimeDownload = false;
  defaults.isReviewEnabled = false;
  defaults.reviewAccessType = std::nullopt;
  defaults.filePreviewEnabled = true;
  return defaults;
}

AppEnvironment AppEnvironment::live(std::shared_ptr<platform::MainQueue> mainQueue) {
  const auto configuration = DesktopConfiguration::load();
  auto browser = std::make_shared<platform::XdgOpenBrowserLauncher>(mainQueue);
  return make(std::move(mainQueue), configuration, std::make_shared<UserDefaults>(UserDefaults::standardPath()),
              SystemLaunchAtLoginService::forCurrentUser(std::move(browser)));
}

AppEnvironment AppEnvironment::make(std::shared_ptr<platform::MainQueue> mainQueue,
                                    const DesktopConfiguration& configuration,
                                    std::shared_ptr<UserDefaults> userDefaults,
                                    std::shared_ptr<LaunchAtLoginServicing> launchAtLoginService) {
  const ApplicationLinks links{configuration.webAppURL};
  const OAuthConfiguration oauth{configuration.webAppURL};
  UploadSecurityPolicy policy = UploadSecurityPolicy::defaultPolicy();
  policy.allowedStorageHosts = configuration.storageHosts;
  auto browser = std::make_shared<platform::XdgOpenBrowserLauncher>(mainQueue);

  AppEnvironment environment;
  environment.filePreparer = std::make_shared<LocalTransferFilePreparer>(*mainQueue);
  environment.uploadEngine = std::make_shared<MockUploadEngine>(*mainQueue, 20.0, 0.1);
  environment.filePicker = std::make_shared<SystemTransferFilePicker>();
  environment.linkOpener = std::make_shared<WorkspaceLinkOpener>(links, browser);
  environment.clipboard = std::make_shared<SystemClipboard>();
  environment.transferNotifier =
      std::make_shared<SystemTransferNotifier>(std::make_shared<FreedesktopNotificationCenter>());
  environment.applicationLinks = links;
  environment.clock = std::make_shared<SystemTransferClock>();
  environment.transferDefaults = initialTransferDefaults();
  environment.oauthConfiguration = oauth;
  environment.uploadSecurityPolicy = policy;
  environment.authenticationAPI = std::make_shared<AuthenticationAPIClient>(oauth, sharedAPISession());
  environment.refreshTokenStore =
      std::make_shared<SecretServiceRefreshTokenStore>(configuration.webAppURL, std::string(bundleIdentifier));
  environment.webAuthentication = std::make_shared<WebAuthenticationClient>(mainQueue, browser);
  environment.appPreferences = std::make_shared<AppPreferences>(std::move(userDefaults));
  environment.launchAtLoginService = std::move(launchAtLoginService);
  return environment;
}

}  // namespace tavrel
