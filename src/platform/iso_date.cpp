#include "platform/iso_date.h"

#include <cstdint>
#include <cstdio>
#include <limits>

namespace tavrel::platform {
namespace {

using std::chrono::system_clock;

// Reads exactly `width` decimal digits at `position`.
std::optional<int> digits(std::string_view text, std::size_t position, std::size_t width) {
  if (position + width > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = position; i < position + width; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool hasCharacter(std::string_view text, std::size_t position, char expected) {
  return position < text.size() && text[position] == expected;
}

}  // namespace

std::optional<system_clock::time_point> parseIsoDate(std::string_view text) {
  // 0123456789012345678
  // YYYY-MM-DDTHH:MM:SS
  const auto year = digits(text, 0, 4);
  const auto month = digits(text, 5, 2);
  const auto day = digits(text, 8, 2);
  const auto hour = digits(text, 11, 2);
  const auto minute = digits(text, 14, 2);
  const auto second = digits(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  if (!hasCharacter(text, 4, '-') || !hasCharacter(text, 7, '-') || !hasCharacter(text, 10, 'T') ||
      !hasCharacter(text, 13, ':') || !hasCharacter(text, 16, ':')) {
    return std::nullopt;
  }
  if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;

  const std::chrono::year_month_day calendarDate{std::chrono::year(*year),
                                                 std::chrono::month(static_cast<unsigned>(*month)),
                                                 std::chrono::day(static_cast<unsigned>(*day))};
  if (!calendarDate.ok()) return std::nullopt;

  const std::string_view zone = text.substr(19);
  std::int64_t offsetSeconds = 0;
  if (zone == "Z") {
    offsetSeconds = 0;
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    const auto offsetHours = digits(zone, 1, 2);
    const auto offsetMinutes = digits(zone, 4, 2);
    if (!offsetHours || !offsetMinutes || *offsetHours > 23 || *offsetMinutes > 59) return std::nullopt;
    offsetSeconds = (*offsetHours * 3600 + *offsetMinutes * 60) * (zone[0] == '-' ? -1 : 1);
  } else {
    return std::nullopt;  // fractional seconds, a missing zone, or trailing text
  }

  const std::int64_t days = std::chrono::sys_days(calendarDate).time_since_epoch().count();
  const std::int64_t seconds = days * 86400 + *hour * 3600 + *minute * 60 + *second - offsetSeconds;

  using Seconds = std::chrono::duration<std::int64_t>;
  constexpr std::int64_t earliest =
      std::chrono::ceil<Seconds>(system_clock::time_point::min().time_since_epoch()).count();
  constexpr std::int64_t latest =
      std::chrono::floor<Seconds>(system_clock::time_point::max().time_since_epoch()).count();
  if (seconds < earliest || seconds > latest) return std::nullopt;
  return system_clock::time_point(std::chrono::duration_cast<system_clock::duration>(Seconds(seconds)));
}

std::string formatIsoDate(system_clock::time_point date) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(date);
  const auto days = std::chrono::floor<std::chrono::days>(seconds);
  const std::chrono::year_month_day calendarDate(days);
  const std::chrono::hh_mm_ss<std::chrono::seconds> time(seconds - days);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(calendarDate.year()),
                static_cast<unsigned>(calendarDate.month()), static_cast<unsigned>(calendarDate.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return buffer;
}

}  // namespace tavrel::platform
