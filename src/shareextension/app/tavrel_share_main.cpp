// tavrel-share: the file manager's "Send with Tavrel". Each argument is one selected item (a path or
// a URI). Shows the share sheet; on Create Link the items are handed to the running program, which
// is started when it is not running. Exit status 0 when the program accepted the items, 1 when the
// user cancelled (or, with --create-link, when the hand-off failed; the reason on standard error),
// 2 for a command line it does not take.

#include <QtQml/qqmlextensionplugin.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QQmlEngine>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/thumbnail_generator.h"
#include "shareextension/core/desktop_application_opener.h"
#include "shareextension/core/share_run_gathering.h"
#include "shareextension/share_item_thumbnail.h"
#include "shareextension/share_program_context.h"
#include "shareextension/share_view_controller.h"
#include "sharehandoff/session_bus_share_handoff_signal.h"
#include "ui/desktop_identity.h"
#include "ui/display_session.h"
#include "ui/interface_setup.h"
#include "ui/qt_main_queue.h"
#include "ui/translations.h"

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_SharePlugin)

namespace {

constexpr const char* kUsage = "Usage: tavrel-share [--create-link] [--] ITEM...\n";
constexpr const char* kHelp =
    "Shows the items in a sheet and, on Create Link, hands them to Tavrel, which sends them and\n"
    "shares a link to them. Each ITEM is a local file or folder, as a path or a file: URI.\n"
    "\n"
    "  --create-link  press Create Link as soon as the items are ready\n"
    "  --help         show this help and exit\n"
    "  --version      show the version and exit\n"
    "  --             end of options: an item may then begin with \"-\"\n"
    "\n"
    "Runs started together (a file manager may start one for the folders and one for the files of\n"
    "one choice) show one sheet: the first one's, holding the items of all.\n"
    "\n"
    "Exit status: 0 when Tavrel took the items (or another run's sheet did), 1 when they were not\n"
    "handed over, 2 for a wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace tavrel;
  // The items are taken byte for byte; Qt never sees them, so an item can never be read as one of
  // its own options.
  const auto arguments = ShareProgramContext::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!arguments.unknownOption.empty()) {
    std::fprintf(stderr, "tavrel-share: unknown option %s\n%sTry 'tavrel-share --help' for more.\n",
                 arguments.unknownOption.c_str(), kUsage);
    return 2;
  }
  if (arguments.showsHelp) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (arguments.showsVersion) {
    std::fputs("tavrel-share " TAVREL_VERSION "\n", stdout);
    return 0;
  }
  // A named Qt platform (offscreen in tests) is the caller's choice; otherwise a display is needed.
  constexpr const char* needsDisplay = "tavrel-share needs a graphical desktop session to show its sheet.";
  if (!ui::hasDisplaySession(/*platformChoiceCounts=*/true)) {
    std::fprintf(stderr, "%s Neither DISPLAY nor WAYLAND_DISPLAY is set.\n", needsDisplay);
    return 1;
  }
  // One choice in a file manager may start several runs at once (Thunar's Send To: one for the
  // folders, one for the files): the first run's sheet takes the others' items. A scripted run
  // (--create-link) stands alone.
  std::unique_ptr<ShareRunGathering> gathering;
  if (!arguments.createsLinkAtOnce) {
    if (const auto socketPath = shareRunGatheringSocketPath()) {
      std::vector<std::string> items;
      for (const auto& attachment : arguments.attachments) items.push_back(attachment.location);
      auto claimed = ShareRunGathering::claim(*socketPath, items);
      if (claimed && std::holds_alternative<ShareRunGathering::HandedOver>(*claimed)) return 0;
      if (claimed) gathering = std::get<std::unique_ptr<ShareRunGathering>>(std::move(*claimed));
    }
  }
  int qtArgc = 1;
  std::optional<ui::DisplayFailureGuard> displayFailure(std::in_place, needsDisplay);
  QGuiApplication application(qtArgc, argv);
  displayFailure.reset();
  ui::applyDesktopIdentity(ui::shareProgramIdentity);
  QGuiApplication::setApplicationDisplayName(QCoreApplication::translate("ShareSheet", "Send with Tavrel"));
  ui::applyInterfaceDefaults();
  ui::installTranslations(application, QLocale());
  ShareItemThumbnail::prepareIconTheme();

  auto mainQueue = std::make_shared<ui::QtMainQueue>();
  auto context = std::make_shared<ShareProgramContext>(arguments.attachments);
  QQmlEngine engine;
  ui::prepareEngine(engine);

  ShareViewController controller(ShareViewController::Dependencies{
      engine,
      ShareExtensionModel::Services{*mainQueue, context,
                                    std::make_shared<SessionBusShareHandoffSignal>("com.tavrel.macos.share"),
                                    std::make_shared<DesktopApplicationOpener>(*mainQueue)},
      ShareSheetViewModel::Thumbnails{mainQueue.get(), desktop::ThumbnailGenerator::makeLive()}});
  QObject::connect(context.get(), &ShareProgramContext::finished, &application, [&](int status) {
    if (gathering) gathering->stop();
    controller.closeView();
    QCoreApplication::exit(status);
  });
  controller.loadView();
  if (!controller.view()) return 1;

  // Items of later runs join the sheet until the user acts on it: a load already under way starts
  // again with all of them.
  platform::Subscription gatheringEnd;
  if (gathering) {
    gathering->serve(mainQueue, [&](std::vector<std::string> items) {
      context->appendItems(items);
      if (controller.didStart()) controller.model()->start();
    });
    gatheringEnd = controller.model()->subscribe([&](const ShareExtensionModel::State& state) {
      if (std::holds_alternative<share_extension_state::HandingOff>(state)) gathering->stop();
    });
  }

  platform::Subscription unattended;
  if (arguments.createsLinkAtOnce) {
    unattended = controller.model()->subscribe([&](const ShareExtensionModel::State& state) {
      if (std::holds_alternative<share_extension_state::Ready>(state)) {
        mainQueue->post([&controller] { controller.model()->createLink(); });
      } else if (const auto* failed = std::get_if<share_extension_state::Failed>(&state)) {
        std::fprintf(stderr, "tavrel-share: %s\n", failed->message.c_str());
        mainQueue->post([] { QCoreApplication::exit(1); });
      }
    });
  }
  controller.showView();
  const int status = QGuiApplication::exec();
  // Before the sheet it feeds goes.
  if (gathering) gathering->stop();
  return status;
}
