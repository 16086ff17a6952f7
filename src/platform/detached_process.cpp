#include "platform/detached_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace tavrel::platform {

Expected<pid_t, int> startDetachedProcess(const std::vector<std::string>& command,
                                          std::function<void(int waitStatus)> onExit) {
  if (command.empty()) return unexpected(EINVAL);
  std::vector<std::string> arguments = command;
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A new session also leaves our process group, and with it the terminal's foreground group. The
  // signal mask and dispositions go back to the defaults a freshly started program expects.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return unexpected(spawned);

  // Detached: the child may live as long as the browser it started, and nothing else waits for it.
  std::thread([child, onExit = std::move(onExit)] {
    int status = 0;
    pid_t waited;
    do {
      waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (onExit) onExit(waited == child ? status : -1);
  }).detach();
  return child;
}

void enterOwnSession() noexcept { ::setsid(); }

}  // namespace tavrel::platform
