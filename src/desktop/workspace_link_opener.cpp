#include "desktop/workspace_link_opener.h"

namespace tavrel {

WorkspaceLinkOpener::WorkspaceLinkOpener(ApplicationLinks links, std::shared_ptr<platform::BrowserLaunching> browser)
    : links_(std::move(links)), browser_(std::move(browser)) {}

void WorkspaceLinkOpener::open(const platform::Url& url) {
  browser_->open(url, [](bool) {});
}

}  // namespace tavrel
