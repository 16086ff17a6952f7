#pragma once

// Everything the coordinator is configured with: the live services and the settings derived from
// the program's configuration, built once at start-up.
//
// The environment owns what it holds. Two members are more than their interface to the coordinator:
// the notifier is a `SystemTransferNotifier` (clicks come back through setResponseHandler) and the
// web sign-in a `WebAuthenticationClient` (the callback address arrives through handleCallbackURL). The main queue handed to live() must outlive it: the
// preparer, the simulated engine and the hot-key and notification services post to it.

#include <memory>

#include "account/authentication_api.h"
#include "account/oauth_configuration.h"
#include "account/refresh_token_storing.h"
#include "account/web_authenticating.h"
#include "app/app_preferences.h"
#include "app/desktop_configuration.h"
#include "desktop/launch_at_login_servicing.h"
#include "platform/main_queue.h"
#include "service/upload_security_policy.h"
#include "transfer/application_links.h"
#include "transfer/clipboard_writing.h"
#include "transfer/external_link_opening.h"
#include "transfer/transfer_clock.h"
#include "transfer/transfer_defaults.h"
#include "transfer/transfer_file_picking.h"
#include "transfer/transfer_file_preparing.h"
#include "transfer/transfer_notifying.h"
#include "transfer/upload_engine.h"

namespace tavrel {

struct AppEnvironment {
  std::shared_ptr<TransferFilePreparing> filePreparer;
  // A simulated engine: the coordinator hands the transfer store the native one, so this drives no
  // transfer.
  std::shared_ptr<UploadEngine> uploadEngine;
  std::shared_ptr<TransferFilePicking> filePicker;
  std::shared_ptr<ExternalLinkOpening> linkOpener;  // holds the same links as applicationLinks
  std::shared_ptr<ClipboardWriting> clipboard;
  std::shared_ptr<TransferNotifying> transferNotifier;
  ApplicationLinks applicationLinks;
  std::shared_ptr<TransferClock> clock;
  TransferDefaults transferDefaults;
  OAuthConfiguration oauthConfiguration;
  UploadSecurityPolicy uploadSecurityPolicy;
  std::shared_ptr<AuthenticationAPI> authenticationAPI;
  std::shared_ptr<RefreshTokenStoring> refreshTokenStore;
  std::shared_ptr<WebAuthenticating> webAuthentication;
  std::shared_ptr<AppPreferences> appPreferences;
  std::shared_ptr<LaunchAtLoginServicing> launchAtLoginService;

  // The environment the program runs with. Loads the configuration first, so an invalid one stops
  // the process before any service exists. Needs the Qt application object.
  static AppEnvironment live(std::shared_ptr<platform::MainQueue> mainQueue);

  // The live services on a given configuration, defaults file and autostart folder's service.
  static AppEnvironment make(std::shared_ptr<platform::MainQueue> mainQueue, const DesktopConfiguration& configuration,
                             std::shared_ptr<UserDefaults> userDefaults,
                             std::shared_ptr<LaunchAtLoginServicing> launchAtLoginService);

  // The settings of a new transfer before the account's own arrive: seven days, the first region,
  // previews on.
  static TransferDefaults initialTransferDefaults();
};

}  // namespace tavrel
