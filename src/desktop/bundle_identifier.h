#pragma once

#include <string_view>

namespace tavrel {

// The program's identity on the desktop: the sign-in callback scheme, the desktop entry
// ("com.tavrel.macos.desktop"), the open-at-login entry, the secret's service name and the log
// subsystem all follow from it.
inline constexpr std::string_view bundleIdentifier = "com.tavrel.macos";

}  // namespace tavrel
