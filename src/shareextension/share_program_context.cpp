#include "shareextension/share_program_context.h"

namespace tavrel {

ShareProgramContext::Arguments ShareProgramContext::parseArguments(const std::vector<std::string>& arguments) {
  Arguments parsed;
  bool options = true;
  for (const auto& argument : arguments) {
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == "--create-link") {
      parsed.createsLinkAtOnce = true;
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
