#include "platform/retry_after.h"

#include <time.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <string>

namespace tavrel::platform {

std::optional<std::chrono::seconds> parseRetryAfter(std::string_view value,
                                                    std::chrono::system_clock::time_point now) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
  while (!value.empty() && isSpace(value.front())) value.remove_prefix(1);
  while (!value.empty() && isSpace(value.back())) value.remove_suffix(1);
  if (value.empty()) return std::nullopt;

  if (std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); })) {
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    // A number too long for 64 bits is still "a long time"; the caller bounds it.
    if (error == std::errc::result_out_of_range)
      return std::chrono::seconds(std::numeric_limits<std::int64_t>::max());
    if (error != std::errc{} || end != value.data() + value.size()) return std::nullopt;
    return std::chrono::seconds(seconds);
  }

  // The preferred form first, then the two a server may still send.
  const std::string text(value);
  static constexpr const char* formats[] = {"%a, %d %b %Y %H:%M:%S GMT", "%A, %d-%b-%y %H:%M:%S GMT",
                                            "%a %b %e %H:%M:%S %Y"};
  for (const char* format : formats) {
    struct tm parts {};
    const char* end = ::strptime(text.c_str(), format, &parts);
    if (!end || *end != '\0') continue;
    const time_t when = ::timegm(&parts);
    if (when == static_cast<time_t>(-1)) return std::nullopt;
    const auto delay = std::chrono::system_clock::from_time_t(when) - now;
    return std::max(std::chrono::seconds(0), std::chrono::ceil<std::chrono::seconds>(delay));
  }
  return std::nullopt;
}

}  // namespace tavrel::platform
