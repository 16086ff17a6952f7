#include "transfer/transfer_clock.h"

#include "platform/cancellation.h"

namespace tavrel {

bool SystemTransferClock::sleep(platform::Duration duration, std::stop_token stop) {
  return platform::sleepFor(duration, std::move(stop));
}

}  // namespace tavrel
