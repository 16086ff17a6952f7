#include "sharehandoff/session_bus_share_handoff_signal.h"

#include "platform/session_bus_signal.h"

namespace tavrel {
namespace {

class SessionBusRegistration final : public ShareHandoffSignalling::Registration {
 public:
  explicit SessionBusRegistration(std::unique_ptr<platform::SessionBusSignal> signal) : signal_(std::move(signal)) {}

 private:
  std::unique_ptr<platform::SessionBusSignal> signal_;
};

}  // namespace

std::unique_ptr<ShareHandoffSignalling::Registration> SessionBusShareHandoffSignal::observe(
    std::function<void()> handler) {
  auto signal = platform::SessionBusSignal::observe(shareHandoffSignalName, std::move(handler));
  if (!signal) {
    logger_.notice("The handoff signal cannot be observed: {}", platform::publicArg(signal.error()));
    return nullptr;
  }
  return std::make_unique<SessionBusRegistration>(std::move(*signal));
}

bool SessionBusShareHandoffSignal::post() {
  auto posted = platform::SessionBusSignal::post(shareHandoffSignalName);
  if (!posted) logger_.notice("The handoff signal could not be sent: {}", platform::publicArg(posted.error()));
  return posted.hasValue();
}

}  // namespace tavrel
