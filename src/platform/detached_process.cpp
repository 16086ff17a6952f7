#include "platform/detached_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <future>
#include <thread>

extern char** environ;

namespace tavrel::platform {

Expected<pid_t, int> startDetachedProcess(const std::vector<std::string>& command,
                                          std::function<void(int waitStatus)> onExit) {
  return startDetachedProcess(command, std::move(onExit),
                              [](std::function<void()> body) { std::thread(std::move(body)).detach(); });
}

Expected<pid_t, int> startDetachedProcess(const std::vector<std::string>& command,
                                          std::function<void(int waitStatus)> onExit,
                                          const ThreadStarter& startThread) {
  if (command.empty()) return unexpected(EINVAL);
  std::vector<std::string> arguments = command;
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // The thread that waits for the child comes first: once the child runs, nothing may fail that
  // would leave it unreaped. Detached: the child may live as long as the browser it started.
  std::promise<pid_t> startedChild;
  try {
    startThread([child = startedChild.get_future().share(), onExit = std::move(onExit)] {
      pid_t pid = -1;
      try {
        pid = child.get();
      } catch (const std::future_error&) {  // the start gave up before it had a child
      }
      if (pid <= 0) return;
      int status = 0;
      pid_t waited;
      do {
        waited = ::waitpid(pid, &status, 0);
      } while (waited < 0 && errno == EINTR);
      if (onExit) onExit(waited == pid ? status : -1);
    });
  } catch (const std::exception&) {
    // Out of threads (std::system_error) or of memory: nothing has been started.
    return unexpected(EAGAIN);
  }

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
  // Whatever happened, the waiting thread learns it: a child to wait for, or none.
  startedChild.set_value(spawned == 0 ? child : -1);
  if (spawned != 0) return unexpected(spawned);
  return child;
}

void enterOwnSession() noexcept { ::setsid(); }

}  // namespace tavrel::platform
