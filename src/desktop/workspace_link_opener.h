#pragma once

#include <memory>

#include "platform/browser_launcher.h"
#include "transfer/application_links.h"
#include "transfer/external_link_opening.h"

namespace tavrel {

// Opens web pages in the user's browser through the desktop's opener (xdg-open, started directly,
// never through a shell, and reaped). Whether the browser came up is not looked at.
class WorkspaceLinkOpener final : public ExternalLinkOpening {
 public:
  WorkspaceLinkOpener(ApplicationLinks links, std::shared_ptr<platform::BrowserLaunching> browser);

  void open(const platform::Url& url) override;

  // The links the coordinator's page actions build their addresses from.
  const ApplicationLinks& links() const { return links_; }

 private:
  ApplicationLinks links_;
  std::shared_ptr<platform::BrowserLaunching> browser_;
};

}  // namespace tavrel
