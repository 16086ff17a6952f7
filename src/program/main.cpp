// The program: one process per desktop session. A second start hands what it was started with (the
// browser's sign-in callback address, or nothing: then the running program shows itself) to the
// running program and exits. A restored desktop session that finds the program running leaves it be.
#include <QtQml/qqmlextensionplugin.h>

#include <QApplication>
#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "account/authentication_store.h"
#include "account/oauth_configuration.h"
#include "account/web_authentication_client.h"
#include "app/app_environment.h"
#include "controls/motion.h"
#include "desktop/bundle_identifier.h"
#include "desktop/global_hot_key_controller.h"
#include "desktop/reduce_motion.h"
#include "desktop/session_restart.h"
#include "desktop/system_launch_at_login_service.h"
#include "desktop/system_transfer_file_picker.h"
#include "desktop/system_transfer_notifier.h"
#include "platform/browser_launcher.h"
#include "platform/logger.h"
#include "platform/single_instance.h"
#include "program/app_coordinator.h"
#include "program/live_application_shell.h"
#include "program/live_interface.h"
#include "program/program_arguments.h"
#include "service/http_session.h"
#include "ui/accessibility_announcing.h"
#include "ui/desktop_identity.h"
#include "ui/display_session.h"
#include "ui/interface_setup.h"
#include "ui/qt_main_queue.h"
#include "ui/translations.h"

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_MenuBarPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_OnboardingPlugin)

namespace {

using namespace tavrel;

// What a start without a callback address hands over: the running program shows itself.
constexpr std::string_view kActivate = "activate";
// What a start by the session hands over (Open at Login, or a session manager restoring a saved
// session): nothing to show. The name is kept from when only a restore sent it.
constexpr std::string_view kSessionRestore = "session-restore";

constexpr const char* kUsage = "Usage: tavrel [--show-dock-icon] [--at-login] [--] [ADDRESS]\n";
constexpr const char* kHelp =
    "Sends files and folders to Tavrel and hands back a link to share them. The program lives in the\n"
    "panel's tray; starting it again shows the running one.\n"
    "\n"
    "  --show-dock-icon  keep the program's windows in the taskbar and the window switcher\n"
    "  --at-login        a start at login (Open at Login): show nothing where there is no tray\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "  --                end of options: what follows is taken as it is\n"
    "  ADDRESS           a sign-in callback address, handed over by the browser\n";

}  // namespace

int main(int argc, char** argv) {
  const platform::Logger logger(std::string(bundleIdentifier), "Application");

  // Before anything else: asking for help never starts or reaches the program.
  const auto arguments = parseProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (const auto* unknown = std::get_if<program_arguments::UnknownOption>(&arguments)) {
    std::fprintf(stderr, "tavrel: unknown option %s\n%sTry 'tavrel --help' for more.\n", unknown->option.c_str(), kUsage);
    return 2;
  }
  if (std::holds_alternative<program_arguments::Help>(arguments)) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (std::holds_alternative<program_arguments::Version>(arguments)) {
    std::fputs("tavrel " TAVREL_VERSION "\n", stdout);
    return 0;
  }
  const auto& run = std::get<program_arguments::Run>(arguments);
  const bool forceRegularActivation = run.showDockIcon;
  const std::string& callback = run.callback;
  std::string restoredSession = run.restoredSession;

  // The channel's errors never hold the message (the callback address is private), only why.
  const auto socketPath = platform::singleInstanceSocketPath(bundleIdentifier);
  if (!socketPath) {
    logger.error("The single-instance channel is unavailable: {}", platform::publicArg(socketPath.error().message));
    return 1;
  }
  // Before the display is looked at: handing over needs none, and the browser that brings the
  // sign-in callback may start us where none is set.
  const std::string_view message = !callback.empty()     ? std::string_view(callback)
                                   : !isStartedByUser(run) ? kSessionRestore
                                                           : kActivate;
  auto claim = platform::claimSingleInstance(*socketPath, message);
  if (!claim) {
    logger.error("Tavrel could neither start as the only instance nor reach the running one: {}",
                 platform::publicArg(claim.error().message));
    return 1;
  }
  if (std::holds_alternative<platform::HandedOver>(*claim)) return 0;
  if (!callback.empty()) {
    // The program it was meant for quit before taking it; this start has no sign-in waiting.
    logger.notice("A sign-in callback arrived with no sign-in waiting");
  }

  if (!ui::hasDisplaySession(/*platformChoiceCounts=*/false)) {
    std::fputs("Tavrel needs a graphical desktop session: neither DISPLAY nor WAYLAND_DISPLAY is set.\n", stderr);
    return 1;
  }

  // Qt never parses our arguments: a callback address or an item can never be read as its option.
  // Only a restored session's ID is Qt's, handed on so that the session manager knows the program
  // it restored (which then asks not to be kept in the next saved session).
  std::string sessionOption = "-session";
  std::vector<char*> qtArguments{argv[0]};
  if (!restoredSession.empty()) {
    qtArguments.push_back(sessionOption.data());
    qtArguments.push_back(restoredSession.data());
  }
  qtArguments.push_back(nullptr);
  int qtArgc = static_cast<int>(qtArguments.size()) - 1;
  std::optional<ui::DisplayFailureGuard> displayFailure(std::in_place,
                                                        "Tavrel needs a graphical desktop session it can open windows on.");
  QApplication application(qtArgc, qtArguments.data());
  displayFailure.reset();
  desktop::keepOutOfSavedSessions(application);
  QApplication::setQuitOnLastWindowClosed(false);
  ui::applyDesktopIdentity(ui::programIdentity);
  ui::applyInterfaceDefaults();
  ui::installTranslations(application, QLocale());

  auto mainQueue = std::make_shared<ui::QtMainQueue>();
  std::shared_ptr<LiveApplicationShell> shell;
  std::shared_ptr<AppEnvironment> environment;
  std::shared_ptr<AppCoordinator> coordinator;

  // Starts that came meanwhile wait on the socket; they are answered from here on, and their
  // messages run once the main loop does, after the coordinator exists.
  auto server = platform::SingleInstanceServer::start(
      std::get<platform::SingleInstanceSocket>(std::move(*claim)), mainQueue, [&](std::string received) {
        // The session started us again (at login, or restoring a saved session): nothing to show.
        if (received == kSessionRestore) return;
        if (shell) shell->becomeActive();
        if (!isCallbackAddress(received)) {
          if (coordinator) coordinator->reopen();
          return;
        }
        if (!environment) return;
        if (auto client = std::dynamic_pointer_cast<WebAuthenticationClient>(environment->webAuthentication)) {
          if (client->handleCallbackURL(received) == WebAuthenticationClient::CallbackHandling::noSignInWaiting) {
            logger.notice("A sign-in callback arrived with no sign-in waiting");
          }
        }
      });
  if (!server) {
    logger.error("Tavrel could not listen for a second start: {}", platform::publicArg(server.error().message));
    return 1;
  }

  // Stops the process with its message when the configuration is invalid.
  environment = std::make_shared<AppEnvironment>(AppEnvironment::live(mainQueue));

  desktop::ReduceMotionSetting reduceMotion;
  const auto motionSubscription = reduceMotion.reduceMotion().subscribe(
      [](const bool& reduce) { Motion::shared()->setReduceMotion(reduce); });

  shell = std::make_shared<LiveApplicationShell>(std::make_shared<platform::XdgOpenBrowserLauncher>(mainQueue));
  auto announcer = std::make_shared<ui::LoggingAccessibilityAnnouncer>();

  AppCoordinatorPlatform platform;
  platform.mainQueue = mainQueue;
  platform.shell = shell;
  platform.makeMenuBar =
      liveMenuBarFactory(mainQueue, std::dynamic_pointer_cast<SystemTransferFilePicker>(environment->filePicker));
  platform.makeOnboardingWindow = liveOnboardingWindowFactory(mainQueue, announcer, shell);
  platform.registerHotKey = [mainQueue](std::function<void()> action) -> std::shared_ptr<void> {
    auto controller = std::make_shared<GlobalHotKeyController>(*mainQueue, std::move(action));
    controller->registerHotKey();
    return controller;
  };
  platform.apiSession = sharedAPISession();
  platform.uploadSession = sharedUploadSession();
  platform.now = [] { return std::chrono::system_clock::now(); };
  platform.connectShareHandoff = liveShareHandoff(mainQueue);

  coordinator = AppCoordinator::make(*environment, forceRegularActivation, std::move(platform));
  if (isStartedByUser(run)) coordinator->startedByUser();

  // Open at Login's entry from an older build starts us as the menu does: from the next login on
  // it says that it is a login start.
  if (auto loginItems = std::dynamic_pointer_cast<SystemLaunchAtLoginService>(environment->launchAtLoginService)) {
    if (const auto updated = loginItems->addLoginStartOptionToOlderEntry(); !updated) {
      logger.error("Unable to update Open at Login: {} / {}; {}", platform::publicArg(updated.error().domain),
                   updated.error().code, updated.error().localizedDescription);
    }
  }

  if (auto notifier = std::dynamic_pointer_cast<SystemTransferNotifier>(environment->transferNotifier)) {
    const std::weak_ptr<AppCoordinator> weakCoordinator = coordinator;
    notifier->setResponseHandler([weakCoordinator](const TransferNotificationResponse& response) {
      if (auto coordinator = weakCoordinator.lock()) coordinator->handleNotificationResponse(response);
    });
  }

  const int status = QApplication::exec();
  // A renewal or a sign-out's revocation may still be on its way: it gets a moment, then is stopped,
  // so that no request runs on while the process tears down libcurl and OpenSSL.
  coordinator->authenticationStore()->finishBackgroundWork(AuthenticationStore::backgroundWorkGraceAtQuit);
  coordinator.reset();
  return status;
}
