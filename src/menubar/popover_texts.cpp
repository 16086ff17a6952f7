#include "menubar/popover_texts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <string_view>

#include "transfer/formatting.h"

namespace tavrel {
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

std::string formatRelativeAge(std::chrono::system_clock::time_point date, std::chrono::system_clock::time_point now) {
  using namespace std::chrono;
  const auto difference = duration_cast<seconds>(now - date).count();
  const bool future = difference < 0;
  const std::int64_t magnitude = future ? -difference : difference;
  struct AgeUnit {
    std::int64_t seconds;
    std::string_view singular;
    std::string_view plural;
  };
  static constexpr std::array<AgeUnit, 7> units{{{1, "sec.", "sec."},
                                                 {60, "min.", "min."},
                                                 {3'600, "hr.", "hr."},
                                                 {86'400, "day", "days"},
                                                 {604'800, "wk.", "wk."},
                                                 {2'592'000, "mo.", "mo."},
                                                 {31'536'000, "yr.", "yr."}}};
  std::size_t index = 0;
  while (index + 1 < units.size() && units[index + 1].seconds <= magnitude) ++index;
  // Months and years are counted in whole 30- and 365-day steps, so 364 days read "12 mo.".
  const auto count = magnitude / units[index].seconds;
  const auto phrase = std::to_string(count) + " " +
                      std::string(count == 1 ? units[index].singular : units[index].plural);
  return future ? "in " + phrase : phrase + " ago";
}

int uploadPercent(double progress) {
  if (!(progress > 0)) return 0;  // also a fraction that is not a number
  return static_cast<int>(std::floor(std::min(progress, 1.0) * 100));
}

std::string uploadDetailText(const UploadProgressSnapshot& progress) {
  const auto& files = progress.preparedTransfer.files;
  const std::int64_t total = std::accumulate(files.begin(), files.end(), std::int64_t{0},
                                             [](std::int64_t sum, const auto& file) { return sum + file.size; });
  const auto remaining = progress.estimatedSecondsRemaining();
  return formatByteProgress(progress.bytesUploaded, total) + " • " +
         formatFileSize(std::max<std::int64_t>(progress.bytesPerSecond, 0)) + "/s • " +
         (remaining ? formatDuration(*remaining, true) : std::string("Calculating…"));
}

std::string recentSubtitle(const RecentTransfer& transfer, std::chrono::system_clock::time_point now) {
  return formatCompactCount(transfer.fileCount, true) + (transfer.fileCount == 1 ? " file" : " files") + " • " +
         formatFileSize(std::max<std::int64_t>(transfer.totalBytes, 0)) + " • " +
         formatRelativeAge(transfer.createdAt, now);
}

}  // namespace tavrel
