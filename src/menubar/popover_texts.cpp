#include "menubar/popover_texts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <string_view>

#include "transfer/formatting.h"

namespace tavrel {

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
  const auto& files = progress.preparedTransfer->files;
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
