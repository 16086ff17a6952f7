#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/main_queue.h"
#include "platform/uuid.h"
#include "transfer/prepared_transfer.h"
#include "transfer/upload_progress_snapshot.h"

namespace tavrel {

// Adds up what one upload run has sent to storage (finished files and parts, plus the bytes of every
// request in flight) and reports the figures to the main thread after every change.
//
// IMPORTANT: Thread-safety. Every operation may be called from any thread; they are serialised by
// one lock, so each sees the effects of the ones before. Snapshots are built under that lock and
// reach the main thread in the order they were built. While one snapshot still waits in the main
// queue, later ones replace it instead of queueing behind it, so a fast upload cannot flood the main
// thread; the main thread always ends up with the newest figures.
//
// An attempt (one storage request, keyed by its attempt id) ends with commit() or dropAttempt();
// updates that arrive for it afterwards are stale and ignored, so its bytes are never counted twice.
// After close() nothing more is reported; a snapshot already on its way is still delivered, so the
// final figures reach the main thread before anything the caller posts after close().
class UploadProgressReporter {
 public:
  using ProgressCallback = std::function<void(const UploadProgressSnapshot&)>;  // runs on the main thread

  // `initialBytes` were on the service before this run began: they count as uploaded but not
  // towards the rate. The clock measures the run's average rate.
  static std::shared_ptr<UploadProgressReporter> make(PreparedTransfer preparedTransfer, std::int64_t initialBytes,
                                                       platform::MainQueue& mainQueue, const platform::Clock& clock,
                                                       ProgressCallback onProgress);

  void recordProgress(const platform::Uuid& taskID, std::int64_t totalBytesSent);
  void setCurrentFileIndex(int index);
  void commit(const platform::Uuid& taskID, std::int64_t bytes);
  void dropAttempt(const platform::Uuid& taskID);
  // Reports every byte as sent: the run has completed on the service.
  void markAllFilesCommitted();
  void emit();
  void close();

  // The figures as they stand now, without reporting them.
  UploadProgressSnapshot snapshot() const;

  UploadProgressReporter(const UploadProgressReporter&) = delete;
  UploadProgressReporter& operator=(const UploadProgressReporter&) = delete;

 private:
  struct Delivery;

  UploadProgressReporter(PreparedTransfer preparedTransfer, std::int64_t initialBytes, platform::MainQueue& mainQueue,
                         const platform::Clock& clock, ProgressCallback onProgress);

  UploadProgressSnapshot snapshotLocked() const;
  void emitLocked();

  const PreparedTransfer preparedTransfer_;
  const std::int64_t totalBytes_;
  const std::int64_t initialBytes_;
  platform::MainQueue& mainQueue_;
  const platform::Clock& clock_;
  const platform::TimePoint startedAt_;
  const std::shared_ptr<Delivery> delivery_;

  mutable std::mutex mutex_;
  std::int64_t committedBytes_;
  std::unordered_map<platform::Uuid, std::int64_t> attempts_;
  std::unordered_set<platform::Uuid> endedAttempts_;
  std::optional<int> currentFileIndex_;
  bool closed_ = false;
};

}  // namespace tavrel
