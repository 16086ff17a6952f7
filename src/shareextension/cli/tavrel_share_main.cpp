// tavrel-share: the file manager's "Send with Tavrel". Each argument is one selected item (a path or
// a URI). Until the sheet exists, the items are handed to the running program at once: loaded,
// written to the shared container, signalled, the program opened, and its answer awaited.
// Exit status 0 when the program accepted the items, 1 otherwise (the reason on standard error).

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "shareextension/core/desktop_application_opener.h"
#include "shareextension/core/share_extension_model.h"
#include "sharehandoff/session_bus_share_handoff_signal.h"

namespace {

using namespace tavrel;

class CommandLineContext final : public ShareExtensionContext {
 public:
  CommandLineContext(std::vector<ShareExtensionAttachment> attachments, platform::EventLoop& loop)
      : attachments_(std::move(attachments)), loop_(loop) {}

  std::vector<ShareExtensionAttachment> inputItems() const override { return attachments_; }
  void completeRequest() override { finish(0); }
  void cancelRequest() override { finish(1); }
  void finish(int status) {
    exitStatus = status;
    loop_.quit();
  }

  int exitStatus = 1;

 private:
  std::vector<ShareExtensionAttachment> attachments_;
  platform::EventLoop& loop_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<ShareExtensionAttachment> attachments;
  for (int index = 1; index < argc; ++index) attachments.push_back({argv[index], std::nullopt});

  platform::EventLoop loop;
  auto context = std::make_shared<CommandLineContext>(std::move(attachments), loop);
  ShareExtensionModel model(ShareExtensionModel::Services{loop, context,
                                                          std::make_shared<SessionBusShareHandoffSignal>("com.tavrel.macos.share"),
                                                          std::make_shared<DesktopApplicationOpener>(loop)});
  auto subscription = model.subscribe([&](const ShareExtensionModel::State& state) {
    if (std::holds_alternative<share_extension_state::Ready>(state)) {
      loop.post([&model] { model.createLink(); });
    } else if (const auto* failed = std::get_if<share_extension_state::Failed>(&state)) {
      std::fprintf(stderr, "tavrel-share: %s\n", failed->message.c_str());
      context->finish(1);
    }
  });
  model.start();
  loop.run();
  return context->exitStatus;
}
