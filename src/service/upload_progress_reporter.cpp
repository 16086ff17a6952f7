#include "service/upload_progress_reporter.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tavrel {

std::shared_ptr<UploadProgressReporter> UploadProgressReporter::make(
    platform::SharedValue<PreparedTransfer> preparedTransfer, std::int64_t initialBytes,
    platform::MainQueue& mainQueue, const platform::Clock& clock, ProgressCallback onProgress) {
  return std::shared_ptr<UploadProgressReporter>(
      new UploadProgressReporter(std::move(preparedTransfer), initialBytes, mainQueue, clock, std::move(onProgress)));
}

UploadProgressReporter::UploadProgressReporter(platform::SharedValue<PreparedTransfer> preparedTransfer,
                                               std::int64_t initialBytes, platform::MainQueue& mainQueue,
                                               const platform::Clock& clock, ProgressCallback onProgress)
    : preparedTransfer_(std::move(preparedTransfer)),
      totalBytes_(preparedTransfer_->totalBytes()),
      initialBytes_(initialBytes),
      mainQueue_(mainQueue),
      clock_(clock),
      startedAt_(clock.now()),
      onProgress_(std::move(onProgress)),
      committedBytes_(initialBytes) {}

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
  if (preparedTransfer_->files.empty()) {
    currentFileIndex_.reset();
  } else {
    currentFileIndex_ = static_cast<int>(preparedTransfer_->files.size()) - 1;
  }
  emitLocked();
}

void UploadProgressReporter::emit() {
  std::lock_guard lock(mutex_);
  emitLocked();
}

void UploadProgressReporter::close() {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  closed_ = true;
  auto last = std::exchange(undelivered_, std::nullopt);
  if (!last || !onProgress_) return;
  // Posted now rather than at the next interval: whatever the caller posts after closing comes later.
  mainQueue_.post([onProgress = onProgress_, snapshot = snapshotOf(*last)] { onProgress(snapshot); });
}

UploadProgressSnapshot UploadProgressReporter::snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshotOf(figuresLocked());
}

UploadProgressReporter::Figures UploadProgressReporter::figuresLocked() const {
  std::int64_t inFlight = 0;
  for (const auto& [taskID, bytes] : attempts_) inFlight += bytes;
  const std::int64_t bytesUploaded = std::min(committedBytes_ + inFlight, totalBytes_);

  const double elapsed = std::chrono::duration<double>(clock_.now() - startedAt_).count();
  const double divisor = std::max(elapsed, 0.001);
  const double rate = static_cast<double>(std::max<std::int64_t>(bytesUploaded - initialBytes_, 0)) / divisor;

  Figures figures;
  figures.bytesUploaded = bytesUploaded;
  figures.bytesPerSecond = std::max<std::int64_t>(static_cast<std::int64_t>(rate), 0);
  figures.progress =
      totalBytes_ < 1 ? 0.0 : static_cast<double>(bytesUploaded) / static_cast<double>(totalBytes_);
  figures.currentFileIndex = currentFileIndex_;
  return figures;
}

UploadProgressSnapshot UploadProgressReporter::snapshotOf(const Figures& figures) const {
  return UploadProgressSnapshot{preparedTransfer_, figures.bytesUploaded, figures.bytesPerSecond,
                                figures.progress, figures.currentFileIndex};
}

void UploadProgressReporter::emitLocked() {
  if (closed_) return;
  undelivered_ = figuresLocked();
  if (deliveryScheduled_) return;  // the delivery on its way takes these figures
  deliveryScheduled_ = true;
  auto task = [weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->deliver();
  };
  const auto now = clock_.now();
  if (!lastDelivery_ || now - *lastDelivery_ >= reportInterval) {
    mainQueue_.post(std::move(task));
  } else {
    mainQueue_.postDelayed(*lastDelivery_ + reportInterval - now, std::move(task));
  }
}

void UploadProgressReporter::deliver() {
  std::optional<UploadProgressSnapshot> snapshot;
  {
    std::lock_guard lock(mutex_);
    deliveryScheduled_ = false;
    auto figures = std::exchange(undelivered_, std::nullopt);
    if (!figures) return;  // close() has sent them
    lastDelivery_ = clock_.now();
    snapshot = snapshotOf(*figures);
    scheduleStallCheckLocked();
  }
  if (onProgress_) onProgress_(*snapshot);
}

void UploadProgressReporter::scheduleStallCheckLocked() {
  if (closed_ || stallCheckScheduled_ || !lastDelivery_) return;
  stallCheckScheduled_ = true;
  const auto due = *lastDelivery_ + stallInterval;
  const auto now = clock_.now();
  mainQueue_.postDelayed(due > now ? due - now : platform::Duration::zero(), [weak = weak_from_this()] {
    if (const auto self = weak.lock()) self->checkStall();
  });
}

void UploadProgressReporter::checkStall() {
  {
    std::lock_guard lock(mutex_);
    stallCheckScheduled_ = false;
    // A report on its way looks again once it is delivered.
    if (closed_ || !lastDelivery_ || deliveryScheduled_) return;
    // Reports went out meanwhile: look again a second after the last one.
    if (clock_.now() - *lastDelivery_ < stallInterval) {
      scheduleStallCheckLocked();
      return;
    }
    undelivered_ = figuresLocked();
    deliveryScheduled_ = true;
  }
  deliver();
}

}  // namespace tavrel
