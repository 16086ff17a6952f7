#include "service/upload_progress_reporter.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tavrel {

// The one snapshot that waits in the main queue, shared with the task that will deliver it.
struct UploadProgressReporter::Delivery {
  std::mutex mutex;
  std::optional<UploadProgressSnapshot> pending;
  ProgressCallback onProgress;
};

std::shared_ptr<UploadProgressReporter> UploadProgressReporter::make(PreparedTransfer preparedTransfer,
                                                                     std::int64_t initialBytes,
                                                                     platform::MainQueue& mainQueue,
                                                                     const platform::Clock& clock,
                                                                     ProgressCallback onProgress) {
  return std::shared_ptr<UploadProgressReporter>(
      new UploadProgressReporter(std::move(preparedTransfer), initialBytes, mainQueue, clock, std::move(onProgress)));
}

UploadProgressReporter::UploadProgressReporter(PreparedTransfer preparedTransfer, std::int64_t initialBytes,
                                               platform::MainQueue& mainQueue, const platform::Clock& clock,
                                               ProgressCallback onProgress)
    : preparedTransfer_(std::move(preparedTransfer)),
      totalBytes_(preparedTransfer_.totalBytes()),
      initialBytes_(initialBytes),
      mainQueue_(mainQueue),
      clock_(clock),
      startedAt_(clock.now()),
      delivery_(std::make_shared<Delivery>()),
      committedBytes_(initialBytes) {
  delivery_->onProgress = std::move(onProgress);
}

void UploadProgressReporter::recordProgress(const platform::Uuid& taskID, std::int64_t totalBytesSent) {
  std::lock_guard lock(mutex_);
  if (endedAttempts_.contains(taskID)) return;
  attempts_[taskID] = std::max<std::int64_t>(totalBytesSent, 0);
  emitLocked();
}

void UploadProgressReporter::setCurrentFileIndex(int index) {
  std::lock_guard lock(mutex_);
  currentFileIndex_ = index;
  emitLocked();
}

void UploadProgressReporter::commit(const platform::Uuid& taskID, std::int64_t bytes) {
  std::lock_guard lock(mutex_);
  if (!endedAttempts_.insert(taskID).second) return;  // an attempt's bytes are committed once
  attempts_.erase(taskID);
  committedBytes_ += bytes;
  emitLocked();
}

void UploadProgressReporter::dropAttempt(const platform::Uuid& taskID) {
  std::lock_guard lock(mutex_);
  if (!endedAttempts_.insert(taskID).second) return;
  attempts_.erase(taskID);
  emitLocked();
}

void UploadProgressReporter::markAllFilesCommitted() {
  std::lock_guard lock(mutex_);
  for (const auto& [taskID, bytes] : attempts_) endedAttempts_.insert(taskID);
  attempts_.clear();
  committedBytes_ = totalBytes_;
  if (preparedTransfer_.files.empty()) {
    currentFileIndex_.reset();
  } else {
    currentFileIndex_ = static_cast<int>(preparedTransfer_.files.size()) - 1;
  }
  emitLocked();
}

void UploadProgressReporter::emit() {
  std::lock_guard lock(mutex_);
  emitLocked();
}

void UploadProgressReporter::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

UploadProgressSnapshot UploadProgressReporter::snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshotLocked();
}

UploadProgressSnapshot UploadProgressReporter::snapshotLocked() const {
  std::int64_t inFlight = 0;
  for (const auto& [taskID, bytes] : attempts_) inFlight += bytes;
  const std::int64_t bytesUploaded = std::min(committedBytes_ + inFlight, totalBytes_);

  const double elapsed = std::chrono::duration<double>(clock_.now() - startedAt_).count();
  const double divisor = std::max(elapsed, 0.001);
  const double rate = static_cast<double>(std::max<std::int64_t>(bytesUploaded - initialBytes_, 0)) / divisor;

  UploadProgressSnapshot snapshot;
  snapshot.preparedTransfer = preparedTransfer_;
  snapshot.bytesUploaded = bytesUploaded;
  snapshot.bytesPerSecond = std::max<std::int64_t>(static_cast<std::int64_t>(rate), 0);
  snapshot.progress = totalBytes_ < 1 ? 0.0 : static_cast<double>(bytesUploaded) / static_cast<double>(totalBytes_);
  snapshot.currentFileIndex = currentFileIndex_;
  return snapshot;
}

void UploadProgressReporter::emitLocked() {
  if (closed_) return;
  auto snapshot = snapshotLocked();
  bool mustPost = false;
  {
    std::lock_guard deliveryLock(delivery_->mutex);
    mustPost = !delivery_->pending.has_value();
    delivery_->pending = std::move(snapshot);
  }
  if (!mustPost) return;
  // Posting while holding the reporter's lock keeps the main queue's order equal to ours.
  mainQueue_.post([delivery = delivery_] {
    std::optional<UploadProgressSnapshot> ready;
    {
      std::lock_guard deliveryLock(delivery->mutex);
      ready = std::exchange(delivery->pending, std::nullopt);
    }
    if (ready && delivery->onProgress) delivery->onProgress(*ready);
  });
}

}  // namespace tavrel
