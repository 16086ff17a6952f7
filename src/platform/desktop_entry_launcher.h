#pragma once

// Starts an installed program by its desktop entry ("com.tavrel.macos.desktop"), as the desktop's
// launcher would: GIO finds the entry in the XDG application folders and runs its Exec line with no
// files. A program that is already running receives this as a second start.

#include <string>
#include <string_view>

#include "platform/expected.h"

namespace tavrel::platform {

struct DesktopEntryLaunchError {
  enum class Kind { notInstalled, failed };
  Kind kind = Kind::failed;
  std::string message;  // the system's reason, for failed
};

// Blocking only while the program is spawned.
Expected<Unit, DesktopEntryLaunchError> launchDesktopEntry(std::string_view desktopID);

}  // namespace tavrel::platform
