#include "platform/desktop_entry_launcher.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/detached_process.h"

namespace tavrel::platform {

Expected<Unit, DesktopEntryLaunchError> launchDesktopEntry(std::string_view desktopID) {
  const std::string id(desktopID);
  GDesktopAppInfo* info = g_desktop_app_info_new(id.c_str());
  if (!info) return unexpected(DesktopEntryLaunchError{DesktopEntryLaunchError::Kind::notInstalled, {}});
  GError* error = nullptr;
  // GIO forks and execs the entry's command, and its double fork leaves no zombie. The program goes
  // into a session of its own, so a Ctrl+C meant for whoever started us does not end it.
  const bool launched = g_desktop_app_info_launch_uris_as_manager(
      info, nullptr, nullptr, G_SPAWN_SEARCH_PATH, [](gpointer) { enterOwnSession(); }, nullptr, nullptr, nullptr,
      &error);
  g_object_unref(info);
  if (launched) return Unit{};
  std::string message = error ? error->message : "unknown error";
  if (error) g_error_free(error);
  return unexpected(DesktopEntryLaunchError{DesktopEntryLaunchError::Kind::failed, std::move(message)});
}

}  // namespace tavrel::platform
