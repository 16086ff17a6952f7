#pragma once

// The short texts of counts, byte progress and durations that the popover and the island show.
// Decimal units (powers of 1,000); a point as decimal separator and no grouping, whatever the
// user's locale. Pure functions; safe on any thread.
//
//   formatCompactCount(12'345'678, true);   // "12.3M"
//   formatByteProgress(1'250'000, 3'000'000); // "1.2/3 MB"
//   formatDuration(61, true);                // "1m 1s"

#include <cstdint>
#include <string>

namespace tavrel {

// Below 1,000 the plain number (negative counts read 0); above, one decimal at most and "K", "M",
// "B" or "T" when includesSuffix is set. Rounds half away from zero and moves up a unit when
// rounding reaches 1,000 of the current one (999,950 reads "1M", not "1000K").
std::string formatCompactCount(std::int64_t count, bool includesSuffix);

// "done/total unit", both in the unit of the total; done is rounded down, so the left side never
// reads complete before it is; total is rounded to nearest. Done is kept within 0...total.
std::string formatByteProgress(std::int64_t done, std::int64_t total);

// value ÷ divisor with one decimal at most (none when whole): rounded down when `downward`, else to
// nearest, halves away from zero. A divisor of 1 or less gives the plain value.
std::string formatScaledValue(std::int64_t value, double divisor, bool downward);

// Whole seconds rounded up: "45s", "2m", "2m 5s", "1h", "1h 5m" (seconds dropped from one hour on);
// the long style writes "45 sec", "2 min" and "1 hr" where the compact one writes no second figure.
std::string formatDuration(double seconds, bool compact);

// Decimal units as a file manager writes them: "Zero KB", "1 byte", "512 bytes", "12 KB",
// "1.2 MB", "1.23 GB"; no fraction for kilobytes, one for megabytes, two from gigabytes on,
// trailing zeros dropped. Negative sizes read as zero.
std::string formatFileSize(std::int64_t bytes);

}  // namespace tavrel
