#include "transfer/formatting.h"

#include <cstdint>

#include <array>
#include <cmath>
#include <limits>
#include <string_view>

namespace tavrel {
namespace {

// Texts are built from integers by hand: printf-style formatting follows the process locale,
// which the desktop toolkit sets from the user's.
__extension__ typedef unsigned __int128 UInt128;

// A number of tenths as "12" or "12.3".
std::string tenthsText(std::uint64_t tenths) {
  std::string text = std::to_string(tenths / 10);
  if (tenths % 10 != 0) {
    text += '.';
    text += static_cast<char>('0' + tenths % 10);
  }
  return text;
}

// value ÷ divisor in tenths, exactly: rounded down, or to nearest with halves away from zero.
std::uint64_t scaledTenths(std::uint64_t value, std::uint64_t divisor, bool downward) {
  const UInt128 tenths = static_cast<UInt128>(value) * 10;
  const UInt128 result = downward ? tenths / divisor : (2 * tenths + divisor) / (2 * static_cast<UInt128>(divisor));
  return static_cast<std::uint64_t>(result);
}

struct Unit {
  std::uint64_t divisor;
  std::string_view text;
};

constexpr std::array<Unit, 4> compactCountUnits{{
    {1'000, "K"}, {1'000'000, "M"}, {1'000'000'000, "B"}, {1'000'000'000'000, "T"}}};

constexpr std::array<Unit, 5> byteUnits{{
    {1, "B"}, {1'000, "KB"}, {1'000'000, "MB"}, {1'000'000'000, "GB"}, {1'000'000'000'000, "TB"}}};

// The largest row whose divisor is at most value (the first row when none is).
template <std::size_t N>
std::size_t unitIndex(const std::array<Unit, N>& units, std::uint64_t value) {
  std::size_t index = 0;
  while (index + 1 < N && units[index + 1].divisor <= value) ++index;
  return index;
}

}  // namespace

std::string formatCompactCount(std::int64_t count, bool includesSuffix) {
  if (count < 1'000) return std::to_string(count < 0 ? 0 : count);
  const auto value = static_cast<std::uint64_t>(count);
  std::size_t index = unitIndex(compactCountUnits, value);
  std::uint64_t tenths = scaledTenths(value, compactCountUnits[index].divisor, false);
  if (tenths >= 10'000 && index + 1 < compactCountUnits.size()) {
    ++index;
    tenths = scaledTenths(value, compactCountUnits[index].divisor, false);
  }
  std::string text = tenthsText(tenths);
  if (includesSuffix) text += compactCountUnits[index].text;
  return text;
}

std::string formatScaledValue(std::int64_t value, double divisor, bool downward) {
  if (!(divisor > 1.0)) return std::to_string(value);
  // Our divisors are whole numbers: compute those exactly, so 0.7 MB never floors to 0.6.
  if (value >= 0 && divisor < 0x1p63 && divisor == std::floor(divisor)) {
    return tenthsText(scaledTenths(static_cast<std::uint64_t>(value), static_cast<std::uint64_t>(divisor), downward));
  }
  const double scaled = static_cast<double>(value) / divisor * 10;
  const double tenths = downward ? std::floor(scaled) : std::round(scaled);
  if (tenths == 0) return "0";
  const double magnitude = std::fabs(tenths);
  const double whole = std::floor(magnitude / 10);
  const int digit = static_cast<int>(magnitude - whole * 10);
  std::string text = tenths < 0 ? "-" : "";
  // |value| ÷ divisor stays below 2^63, so the whole part fits.
  text += std::to_string(static_cast<std::uint64_t>(whole));
  if (digit != 0) {
    text += '.';
    text += static_cast<char>('0' + digit);
  }
  return text;
}

std::string formatByteProgress(std::int64_t done, std::int64_t total) {
  if (total < 0) total = 0;
  if (done < 0) done = 0;
  if (done > total) done = total;
  const Unit& unit = byteUnits[unitIndex(byteUnits, static_cast<std::uint64_t>(total))];
  const auto divisor = static_cast<double>(unit.divisor);
  return formatScaledValue(done, divisor, true) + "/" + formatScaledValue(total, divisor, false) + " " +
         std::string(unit.text);
}

std::string formatDuration(double seconds, bool compact) {
  std::int64_t s = 0;
  // NaN and negatives read 0; an absurdly long wait is capped rather than overflowing.
  if (seconds > 0) {
    const double rounded = std::ceil(seconds);
    s = rounded >= 0x1p62 ? (std::int64_t{1} << 62) : static_cast<std::int64_t>(rounded);
  }
  if (s < 60) return std::to_string(s) + (compact ? "s" : " sec");
  const std::int64_t minutes = s / 60;
  if (s < 3'600) {
    const std::int64_t remainder = s % 60;
    if (remainder == 0) return std::to_string(minutes) + (compact ? "m" : " min");
    return std::to_string(minutes) + "m " + std::to_string(remainder) + "s";
  }
  const std::int64_t hours = s / 3'600;
  const std::int64_t minutesOfHour = minutes - 60 * hours;
  if (minutesOfHour == 0) return std::to_string(hours) + (compact ? "h" : " hr");
  return std::to_string(hours) + "h " + std::to_string(minutesOfHour) + "m";
}

namespace {

struct SizeUnit {
  std::int64_t divisor;
  std::string_view name;
  int fractionDigits;
};

constexpr std::array<SizeUnit, 5> sizeUnits{{
    {1'000, "KB", 0}, {1'000'000, "MB", 1}, {1'000'000'000, "GB", 2}, {1'000'000'000'000, "TB", 2},
    {1'000'000'000'000'000, "PB", 2}}};

// value ÷ divisor rounded to `digits` decimals, halves away from zero, trailing zeros dropped.
std::string scaled(std::int64_t value, std::int64_t divisor, int digits) {
  std::int64_t factor = 1;
  for (int i = 0; i < digits; ++i) factor *= 10;
  __extension__ typedef unsigned __int128 UInt128;
  const UInt128 scaledValue = static_cast<UInt128>(value) * static_cast<UInt128>(factor);
  const auto rounded = static_cast<std::uint64_t>((2 * scaledValue + static_cast<UInt128>(divisor)) /
                                                  (2 * static_cast<UInt128>(divisor)));
  std::string text = std::to_string(rounded / static_cast<std::uint64_t>(factor));
  auto fraction = rounded % static_cast<std::uint64_t>(factor);
  int width = digits;
  while (width > 0 && fraction % 10 == 0 && fraction != 0) {
    fraction /= 10;
    --width;
  }
  if (fraction != 0) {
    std::string digitsText = std::to_string(fraction);
    digitsText.insert(0, static_cast<std::size_t>(width) - digitsText.size(), '0');
    text += '.' + digitsText;
  }
  return text;
}

}  // namespace

std::string formatFileSize(std::int64_t bytes) {
  if (bytes <= 0) return "Zero KB";
  if (bytes == 1) return "1 byte";
  if (bytes < 1'000) return std::to_string(bytes) + " bytes";
  std::size_t index = 0;
  while (index + 1 < sizeUnits.size() && sizeUnits[index + 1].divisor <= bytes) ++index;
  // Rounding may reach the next unit: 999,999 bytes read "1 MB", not "1000 KB".
  auto text = scaled(bytes, sizeUnits[index].divisor, sizeUnits[index].fractionDigits);
  if (index + 1 < sizeUnits.size() && text == "1000") {
    ++index;
    text = scaled(bytes, sizeUnits[index].divisor, sizeUnits[index].fractionDigits);
  }
  return text + " " + std::string(sizeUnits[index].name);
}

}  // namespace tavrel
