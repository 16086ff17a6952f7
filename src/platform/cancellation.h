#pragma once

#include <stop_token>

#include "platform/main_queue.h"

namespace tavrel::platform {

// Blocks the calling worker thread for `duration` of real time, or until `token` is stopped,
// whichever comes first. Returns true when the whole duration passed, false when stopped.
// Never call it on the main thread.
bool sleepFor(Duration duration, std::stop_token token);

}  // namespace tavrel::platform
