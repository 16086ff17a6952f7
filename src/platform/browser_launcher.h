#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/main_queue.h"
#include "platform/url.h"

namespace tavrel::platform {

// Opens addresses in the user's web browser.
class BrowserLaunching {
 public:
  virtual ~BrowserLaunching() = default;

  // Asks the desktop to open `url`. `completion` runs once, later, on the main thread: false when the
  // browser could not be started, true once the desktop took the address.
  virtual void open(const Url& url, std::function<void(bool opened)> completion) = 0;
};

// Opens addresses with the desktop's "xdg-open", started directly (no shell, so nothing in the address
// is interpreted) with the address as its one argument, detached from us like every program we start
// (platform/detached_process.h): the browser it starts is the user's. It succeeds when the opener
// exits with status 0; the opener's exit is awaited on a thread of its own, which only posts the
// outcome.
class XdgOpenBrowserLauncher final : public BrowserLaunching {
 public:
  explicit XdgOpenBrowserLauncher(std::shared_ptr<MainQueue> queue, std::string program = "xdg-open");

  void open(const Url& url, std::function<void(bool opened)> completion) override;

 private:
  std::shared_ptr<MainQueue> queue_;
  std::string program_;
};

}  // namespace tavrel::platform
