#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace tavrel::platform {

// How long a server asked us to wait before the next request, from a Retry-After header value:
// delay-seconds ("120") or an HTTP date ("Wed, 21 Oct 2026 07:28:00 GMT", also the two obsolete
// forms), relative to `now`. A date in the past is no wait (zero); anything else is none.
std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value,
                                                    std::chrono::system_clock::time_point now);

}  // namespace tavrel::platform
