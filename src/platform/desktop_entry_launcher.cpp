#include "platform/desktop_entry_launcher.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace tavrel::platform {

Expected<Unit, DesktopEntryLaunchError> launchDesktopEntry(std::string_view desktopID) {
  const std::string id(desktopID);
  GDesktopAppInfo* info = g_desktop_app_info_new(id.c_str());
  if (!info) return unexpected(DesktopEntryLaunchError{DesktopEntryLaunchError::Kind::notInstalled, {}});
  GError* error = nullptr;
  const bool launched = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
  g_object_unref(info);
  if (launched) return Unit{};
  std::string message = error ? error->message : "unknown error";
  if (error) g_error_free(error);
  return unexpected(DesktopEntryLaunchError{DesktopEntryLaunchError::Kind::failed, std::move(message)});
}

}  // namespace tavrel::platform
