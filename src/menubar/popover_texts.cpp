#include "menubar/popover_texts.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

#include "transfer/formatting.h"

namespace tavrel {

namespace {

// One count of a unit of age, in the catalogue's plural forms.
QString agePhrase(std::size_t unit, int count) {
  switch (unit) {
    case 0:
      return QCoreApplication::translate("PopoverTexts", "%n sec.", nullptr, count);
    case 1:
      return QCoreApplication::translate("PopoverTexts", "%n min.", nullptr, count);
    case 2:
      return QCoreApplication::translate("PopoverTexts", "%n hr.", nullptr, count);
    case 3:
      return QCoreApplication::translate("PopoverTexts", "%n days", nullptr, count);
    case 4:
      return QCoreApplication::translate("PopoverTexts", "%n wk.", nullptr, count);
    case 5:
      return QCoreApplication::translate("PopoverTexts", "%n mo.", nullptr, count);
    default:
      return QCoreApplication::translate("PopoverTexts", "%n yr.", nullptr, count);
  }
}

int clampedCount(std::int64_t count) {
  return static_cast<int>(std::clamp<std::int64_t>(count, 0, std::numeric_limits<int>::max()));
}

std::string filesText(std::int64_t count) {
  return QCoreApplication::translate("PopoverTexts", "%1 files", nullptr, clampedCount(count))
      .arg(QString::fromStdString(formatCompactCount(count, true)))
      .toStdString();
}

}  // namespace

std::string formatRelativeAge(std::chrono::system_clock::time_point date, std::chrono::system_clock::time_point now) {
  using namespace std::chrono;
  // In whole seconds first: `now - date` in the clock's nanoseconds overflows for dates the decoder
  // accepts (its range spans about 584 years, from 1677), so 1700 would read "in 290 yr.".
  const auto nowSeconds = duration_cast<seconds>(now.time_since_epoch());
  const auto dateSeconds = duration_cast<seconds>(date.time_since_epoch());
  std::int64_t difference = (nowSeconds - dateSeconds).count();
  auto rest = (now.time_since_epoch() - nowSeconds) - (date.time_since_epoch() - dateSeconds);
  difference += duration_cast<seconds>(rest).count();
  rest -= duration_cast<seconds>(rest);
  // Whole seconds of the exact difference, cut towards zero.
  if (difference > 0 && rest.count() < 0) --difference;
  if (difference < 0 && rest.count() > 0) ++difference;
  const bool future = difference < 0;
  const std::int64_t magnitude = future ? -difference : difference;
  static constexpr std::array<std::int64_t, 7> units{1, 60, 3'600, 86'400, 604'800, 2'592'000, 31'536'000};
  std::size_t index = 0;
  while (index + 1 < units.size() && units[index + 1] <= magnitude) ++index;
  // Months and years are counted in whole 30- and 365-day steps, so 364 days read "12 mo.".
  const auto count = magnitude / units[index];
  const auto phrase =
      agePhrase(index, static_cast<int>(std::min<std::int64_t>(count, std::numeric_limits<int>::max())));
  return (future ? QCoreApplication::translate("PopoverTexts", "in %1")
                 : QCoreApplication::translate("PopoverTexts", "%1 ago"))
      .arg(phrase)
      .toStdString();
}

int uploadPercent(double progress) {
  if (!(progress > 0)) return 0;  // also a fraction that is not a number
  return static_cast<int>(std::floor(std::min(progress, 1.0) * 100));
}

std::string uploadDetailText(const UploadProgressSnapshot& progress) {
  const std::int64_t total = progress.preparedTransfer->totalBytes();
  const auto remaining = progress.estimatedSecondsRemaining();
  return formatByteProgress(progress.bytesUploaded, total) + " • " +
         formatFileSize(std::max<std::int64_t>(progress.bytesPerSecond, 0)) + "/s • " +
         (remaining ? formatDuration(*remaining, true)
                    : QCoreApplication::translate("PopoverTexts", "Calculating…").toStdString());
}

std::string selectionSummaryText(const TransferSelection& selection) {
  const auto count = static_cast<std::int64_t>(selection.items.size());
  const bool allFiles = std::all_of(selection.items.begin(), selection.items.end(),
                                    [](const auto& item) { return item.kind == TransferItemKind::file; });
  const bool allFolders = std::all_of(selection.items.begin(), selection.items.end(),
                                      [](const auto& item) { return item.kind != TransferItemKind::file; });
  if (allFiles) return filesText(count);
  const auto pattern =
      allFolders ? QCoreApplication::translate("PopoverTexts", "%1 folders", nullptr, clampedCount(count))
                 : QCoreApplication::translate("PopoverTexts", "%1 items", nullptr, clampedCount(count));
  return pattern.arg(QString::fromStdString(formatCompactCount(count, true))).toStdString();
}

std::string reviewSummaryText(const TransferReviewState& review) {
  auto text = selectionSummaryText(review.selection);
  const auto prepared = review.displayedPreparedTransfer();
  if (prepared && prepared->files.size() != review.selection.items.size()) {
    //: The chosen items (%1, as in "2 folders") and how many files they hold (%2, as in "14 files").
    text = QCoreApplication::translate("PopoverTexts", "%1 (%2)")
               .arg(QString::fromStdString(text),
                    QString::fromStdString(filesText(static_cast<std::int64_t>(prepared->files.size()))))
               .toStdString();
  }
  return text;
}

std::string recentSubtitle(const RecentTransfer& transfer, std::chrono::system_clock::time_point now) {
  return filesText(transfer.fileCount) + " • " +
         formatFileSize(std::max<std::int64_t>(transfer.totalBytes, 0)) + " • " +
         formatRelativeAge(transfer.createdAt, now);
}

}  // namespace tavrel
