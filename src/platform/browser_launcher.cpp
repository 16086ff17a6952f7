#include "platform/browser_launcher.h"

#include <sys/wait.h>

#include "platform/detached_process.h"

namespace tavrel::platform {

XdgOpenBrowserLauncher::XdgOpenBrowserLauncher(std::shared_ptr<MainQueue> queue, std::string program)
    : queue_(std::move(queue)), program_(std::move(program)) {}

void XdgOpenBrowserLauncher::open(const Url& url, std::function<void(bool opened)> completion) {
  auto shared = std::make_shared<std::function<void(bool)>>(std::move(completion));
  auto started = startDetachedProcess({program_, url.toString()}, [queue = queue_, shared](int status) {
    const bool opened = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    queue->post([shared, opened] { (*shared)(opened); });
  });
  if (!started) queue_->post([shared] { (*shared)(false); });
}

}  // namespace tavrel::platform
