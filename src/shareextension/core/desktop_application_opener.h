#pragma once

#include <string>

#include "platform/main_queue.h"
#include "shareextension/core/share_extension_model.h"

namespace tavrel {

// Opens the program through its desktop entry, "com.tavrel.macos.desktop"; a running program takes
// it as a second start, becomes active and scans the Pending folder.
class DesktopApplicationOpener final : public ShareApplicationOpening {
 public:
  static constexpr const char* programDesktopEntry = "com.tavrel.macos.desktop";

  explicit DesktopApplicationOpener(platform::MainQueue& mainQueue, std::string desktopID = programDesktopEntry)
      : mainQueue_(mainQueue), desktopID_(std::move(desktopID)) {}

  void openMainApplication(Completion completion) override;

 private:
  platform::MainQueue& mainQueue_;
  std::string desktopID_;
};

}  // namespace tavrel
