#include "program/program_arguments.h"

#include <cctype>
#include <iterator>

#include "account/oauth_configuration.h"
#include "desktop/system_launch_at_login_service.h"

namespace tavrel {

bool isCallbackAddress(std::string_view argument) {
  const auto scheme = OAuthConfiguration::callbackScheme;
  if (argument.size() <= scheme.size() || argument[scheme.size()] != ':') return false;
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(argument[i])) != scheme[i]) return false;
  }
  return true;
}

bool isStartedByUser(const program_arguments::Run& run) { return !run.atLogin && run.restoredSession.empty(); }

ProgramArguments parseProgramArguments(const std::vector<std::string>& arguments) {
  program_arguments::Run run;
  bool options = true;
  for (auto next = arguments.begin(); next != arguments.end(); ++next) {
    const auto& argument = *next;
    if (options && argument.size() > 1 && argument.front() == '-') {
      if (argument == "--") {
        options = false;
      } else if (argument == "--help") {
        return program_arguments::Help{};
      } else if (argument == "--version") {
        return program_arguments::Version{};
      } else if (argument == "--show-dock-icon") {
        run.showDockIcon = true;
      } else if (argument == SystemLaunchAtLoginService::loginStartOption) {
        run.atLogin = true;
      } else if ((argument == "-session" || argument == "--session") && std::next(next) != arguments.end()) {
        // Whatever follows is the ID, as Qt reads it, even when it starts with "-".
        run.restoredSession = *++next;
      } else {
        return program_arguments::UnknownOption{argument};
      }
    } else if (isCallbackAddress(argument)) {
      run.callback = argument;
    }
  }
  return run;
}

}  // namespace tavrel
