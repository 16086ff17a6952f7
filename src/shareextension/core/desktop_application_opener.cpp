#include "shareextension/core/desktop_application_opener.h"

#include "platform/desktop_entry_launcher.h"

namespace tavrel {

void DesktopApplicationOpener::openMainApplication(Completion completion) {
  using Kind = ShareExtensionHandoffError::Kind;
  auto launched = platform::launchDesktopEntry(desktopID_);
  platform::Expected<platform::Unit, ShareExtensionHandoffError> result = platform::Unit{};
  if (!launched) {
    const bool missing = launched.error().kind == platform::DesktopEntryLaunchError::Kind::notInstalled;
    result = platform::unexpected(ShareExtensionHandoffError{missing ? Kind::applicationUnavailable : Kind::launchFailed,
                                                             launched.error().message});
  }
  mainQueue_.post([completion = std::move(completion), result = std::move(result)] { completion(result); });
}

}  // namespace tavrel
