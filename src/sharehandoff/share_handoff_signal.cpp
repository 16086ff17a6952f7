#include "sharehandoff/share_handoff_signal.h"

namespace tavrel {

ShareHandoffSignalObserver::ShareHandoffSignalObserver(ShareHandoffSignalling& signalling,
                                                       platform::MainQueue& mainQueue, std::function<void()> handler)
    : handler_(std::make_shared<std::function<void()>>(std::move(handler))) {
  std::weak_ptr<std::function<void()>> weakHandler = handler_;
  registration_ = signalling.observe([&mainQueue, weakHandler] {
    // Only hop to the main thread here; the handler itself runs there.
    mainQueue.post([weakHandler] {
      if (auto handler = weakHandler.lock()) (*handler)();
    });
  });
}

ShareHandoffSignalObserver::~ShareHandoffSignalObserver() {
  registration_.reset();
  handler_.reset();
}

}  // namespace tavrel
