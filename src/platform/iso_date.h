#pragma once

// Dates as the web services send them: ISO 8601 internet date-time with whole seconds,
// "2026-01-02T03:04:05Z" or with an offset, "2026-01-02T04:04:05+01:00".
//
//   auto date = platform::parseIsoDate("2026-01-02T03:04:05Z");  // std::nullopt if malformed
//   std::string text = platform::formatIsoDate(*date);             // "2026-01-02T03:04:05Z"
//
// Fractional seconds are refused, as the service never sends them and our peers do not accept
// them. Dates outside what system_clock can hold are refused rather than wrapped.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::platform {

// Parses "YYYY-MM-DDTHH:MM:SS" followed by "Z" or "+HH:MM"/"-HH:MM"; the calendar date and the
// time of day must exist (no 24:00, no leap second, no February 30).
std::optional<std::chrono::system_clock::time_point> parseIsoDate(std::string_view text);

// UTC with a trailing "Z"; anything below a second is dropped (rounded towards the past).
std::string formatIsoDate(std::chrono::system_clock::time_point date);

}  // namespace tavrel::platform
