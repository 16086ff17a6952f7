#include "platform/browser_launcher.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

extern char** environ;

namespace tavrel::platform {

XdgOpenBrowserLauncher::XdgOpenBrowserLauncher(std::shared_ptr<MainQueue> queue, std::string program)
    : queue_(std::move(queue)), program_(std::move(program)) {}

void XdgOpenBrowserLauncher::open(const Url& url, std::function<void(bool opened)> completion) {
  std::string program = program_;
  std::string address = url.toString();
  std::vector<char*> arguments{program.data(), address.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);

  if (spawned != 0) {
    queue_->post([completion = std::move(completion)] { completion(false); });
    return;
  }
  // Detached: the opener may live as long as the browser it started, and nothing else waits for it.
  std::thread([queue = queue_, child, completion = std::move(completion)]() mutable {
    int status = 0;
    pid_t waited;
    do {
      waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    const bool opened = waited == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    queue->post([completion = std::move(completion), opened] { completion(opened); });
  }).detach();
}

}  // namespace tavrel::platform
