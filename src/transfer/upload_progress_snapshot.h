#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/shared_value.h"
#include "platform/translatable_text.h"
#include "transfer/prepared_transfer.h"

namespace tavrel {

// What an upload reports while it runs.
struct UploadProgressSnapshot {
  // Shared, not copied: a run reports many times over a list of possibly many thousand files.
  platform::SharedValue<PreparedTransfer> preparedTransfer;
  std::int64_t bytesUploaded = 0;   // never more than the total of the file sizes
  std::int64_t bytesPerSecond = 0;  // average rate of this run
  double progress = 0.0;            // 0.0 to 1.0 of the total bytes
  std::optional<int> currentFileIndex;  // into preparedTransfer.files; absent before the first file

  // Seconds left at the current rate; none while the rate is below one byte per second.
  std::optional<double> estimatedSecondsRemaining() const;
  // The file counter before its numbers are filled in; the interface translates it whole, so a
  // language can order and word it as it needs.
  //: The file counter while uploading: the file being sent (%1) of all the transfer's files (%2), as in "2 of 5".
  static constexpr const char* fileCountPattern = TAVREL_TRANSLATE_NOOP("Core", "%1 of %2");

  // "2 of 5"; none before the first file.
  std::optional<std::string> fileCountText() const;

  friend bool operator==(const UploadProgressSnapshot&, const UploadProgressSnapshot&) = default;
};

}  // namespace tavrel
