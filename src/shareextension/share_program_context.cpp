#include "shareextension/share_program_context.h"

namespace tavrel {

ShareProgramContext::Arguments ShareProgramContext::parseArguments(const std::vector<std::string>& arguments) {
  Arguments parsed;
  bool options = true;
  for (const auto& argument : arguments) {
    if (options && argument.size() > 1 && argument.front() == '-') {
      if (argument == "--") {
        options = false;
      } else if (argument == "--create-link") {
        parsed.createsLinkAtOnce = true;
      } else if (argument == "--help") {
        parsed.showsHelp = true;
      } else if (argument == "--version") {
        parsed.showsVersion = true;
      } else if (parsed.unknownOption.empty()) {
        parsed.unknownOption = argument;
      }
    } else {
      options = false;
      parsed.attachments.push_back({argument, std::nullopt});
    }
  }
  return parsed;
}

void ShareProgramContext::finish(int status) {
  // The model may end a request only once, but a late Cancel after an acceptance must not turn it
  // into a cancellation.
  if (finished_) return;
  finished_ = true;
  emit finished(status);
}

}  // namespace tavrel
