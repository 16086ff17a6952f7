#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavrel {

// What `tavrel` was started with. Options come first; "--" ends them, so whatever follows is taken
// as it is. A sign-in callback address (the browser hands it over) is the one item the program
// uses; other items are ignored, as a desktop may pass what its entry's field code names.
// "-session ID" (or "--session ID") is Qt's: an X11 session manager restores a saved session by
// starting the program with it, so it is taken with its value instead of being refused.
// "--at-login" is what Open at Login's autostart entry starts the program with
// (SystemLaunchAtLoginService::loginStartOption).
namespace program_arguments {
struct Run {
  bool showDockIcon = false;
  std::string callback;  // empty when none was given
  std::string restoredSession;  // the session manager's client ID; empty when none was given
  bool atLogin = false;

  friend bool operator==(const Run&, const Run&) = default;
};
struct Help {
  friend bool operator==(const Help&, const Help&) = default;
};
struct Version {
  friend bool operator==(const Version&, const Version&) = default;
};
// An option that is not the program's: the start is refused before anything else happens.
struct UnknownOption {
  std::string option;

  friend bool operator==(const UnknownOption&, const UnknownOption&) = default;
};
}  // namespace program_arguments

using ProgramArguments = std::variant<program_arguments::Run, program_arguments::Help, program_arguments::Version,
                                      program_arguments::UnknownOption>;

// `arguments` without the program's own name. The first of --help, --version or an unknown option
// decides; a lone "-" is an item. A "-session" without a value is an unknown option.
ProgramArguments parseProgramArguments(const std::vector<std::string>& arguments);

// Whether the user asked for this start (from the application menu, a terminal, the browser), so
// the program should be seen at once; a start at login (Open at Login's entry, or a session
// manager restoring a saved session) is the session's, and nobody waits to see anything.
bool isStartedByUser(const program_arguments::Run& run);

// Whether `argument` is an address of the program's sign-in callback scheme (any letter case).
bool isCallbackAddress(std::string_view argument);

}  // namespace tavrel
