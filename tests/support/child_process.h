#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavrel::testing {

// Starts arguments[0] with `arguments` and exactly `environment` ("NAME=value" entries), without a
// shell. Returns the child's process id, or -1 when it could not be started.
pid_t spawnProcess(std::vector<std::string> arguments, std::vector<std::string> environment);

}  // namespace tavrel::testing
