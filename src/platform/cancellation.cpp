#include "platform/cancellation.h"

#include <condition_variable>
#include <mutex>

namespace tavrel::platform {

bool sleepFor(Duration duration, std::stop_token token) {
  if (token.stop_requested()) return false;
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  // wait_for with a stop token returns the predicate, which is false both on timeout and on stop.
  wake.wait_for(lock, token, duration, [] { return false; });
  return !token.stop_requested();
}

}  // namespace tavrel::platform
