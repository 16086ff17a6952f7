#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "platform/main_queue.h"
#include "platform/shared_value.h"
#include "platform/uuid.h"
#include "transfer/prepared_transfer.h"
#include "transfer/upload_progress_snapshot.h"

namespace tavrel {

// Adds up what one upload run has sent to storage (finished files and parts, plus the bytes of every
// request in flight) and reports the figures to the main thread.
//
// Reports are coalesced to at most one per reportInterval, the pace the interface shows them at: the
// first goes out at once, and a change within the interval after a delivery is delivered when the
// interval has passed, with the newest figures of that moment. The figures are taken when they
// change; the snapshot that carries them shares the prepared transfer and is made only when it is
// delivered, so a report costs the same for ten files as for a hundred thousand.
//
// IMPORTANT: Thread-safety. Every operation may be called from any thread; they are serialised by
// one lock, so each sees the effects of the ones before. Snapshots reach the main thread in the order
// their figures were taken, and the main thread always ends up with the newest figures.
//
// While nothing moves (storage stalls, the service is away, a retry waits), the figures follow the
// clock: once a second has passed without a report, the figures of that moment are reported, so the
// average rate falls and the time left grows. While bytes move, reports follow them and no more are
// added.
//
// An attempt (one storage request, keyed by its attempt id) ends with commit() or dropAttempt();
// updates that arrive for it afterwards are stale and ignored, so its bytes are never counted twice.
// After close() nothing more is reported; figures not yet delivered are posted at once, so the final
// figures reach the main thread before anything the caller posts after close().
class UploadProgressReporter : public std::enable_shared_from_this<UploadProgressReporter> {
 public:
  using ProgressCallback = std::function<void(const UploadProgressSnapshot&)>;  // runs on the main thread

  static constexpr auto reportInterval = std::chrono::milliseconds(100);
  // The longest a run goes without a report while it is open.
  static constexpr auto stallInterval = std::chrono::seconds(1);

  // `initialBytes` were on the service before this run began: they count as uploaded but not
  // towards the rate. The clock measures the run's average rate.
  static std::shared_ptr<UploadProgressReporter> make(
      platform::SharedValue<PreparedTransfer> preparedTransfer, std::int64_t initialBytes,
      platform::MainQueue& mainQueue, const platform::Clock& clock, ProgressCallback onProgress);

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
  // What a snapshot carries besides the prepared transfer.
  struct Figures {
    std::int64_t bytesUploaded = 0;
    std::int64_t bytesPerSecond = 0;
    double progress = 0.0;
    std::optional<int> currentFileIndex;
  };

  UploadProgressReporter(platform::SharedValue<PreparedTransfer> preparedTransfer, std::int64_t initialBytes,
                         platform::MainQueue& mainQueue, const platform::Clock& clock,
                         ProgressCallback onProgress);

  Figures figuresLocked() const;
  UploadProgressSnapshot snapshotOf(const Figures& figures) const;
  void emitLocked();
  void deliver();
  // Keeps one check on the main queue for a second after the last report.
  void scheduleStallCheckLocked();
  void checkStall();

  const platform::SharedValue<PreparedTransfer> preparedTransfer_;
  const std::int64_t totalBytes_;
  const std::int64_t initialBytes_;
  platform::MainQueue& mainQueue_;
  const platform::Clock& clock_;
  const platform::TimePoint startedAt_;
  const ProgressCallback onProgress_;

  mutable std::mutex mutex_;
  std::int64_t committedBytes_;
  std::unordered_map<platform::Uuid, std::int64_t> attempts_;
  std::unordered_set<platform::Uuid> endedAttempts_;
  std::optional<int> currentFileIndex_;
  bool closed_ = false;
  std::optional<Figures> undelivered_;
  bool deliveryScheduled_ = false;
  std::optional<platform::TimePoint> lastDelivery_;
  bool stallCheckScheduled_ = false;
};

}  // namespace tavrel
