#include "transfer/upload_progress_snapshot.h"

#include <algorithm>

namespace tavrel {

std::optional<double> UploadProgressSnapshot::estimatedSecondsRemaining() const {
  if (bytesPerSecond < 1) return std::nullopt;
  const std::int64_t remaining = std::max<std::int64_t>(preparedTransfer->totalBytes() - bytesUploaded, 0);
  return static_cast<double>(remaining) / static_cast<double>(bytesPerSecond);
}

std::optional<std::string> UploadProgressSnapshot::fileCountText() const {
  if (!currentFileIndex) return std::nullopt;
  return platform::fillText(fileCountPattern, {std::to_string(*currentFileIndex + 1),
                                               std::to_string(preparedTransfer->files.size())});
}

}  // namespace tavrel
