#include "support/child_process.h"

#include <spawn.h>

namespace tavrel::testing {

pid_t spawnProcess(std::vector<std::string> arguments, std::vector<std::string> environment) {
  if (arguments.empty()) return -1;
  std::vector<char*> argv, envp;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  for (auto& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  return pid;
}

}  // namespace tavrel::testing
