#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/observable.h"
#include "records/transfer_service_records.h"
#include "transfer/completed_transfer.h"
#include "transfer/recent_transfers_api.h"

namespace tavrel {

// The short list of the user's newest transfers: at most five, newest first. Loads it from the
// service, skips the load while a complete list is younger than the freshness interval, folds in
// each transfer this program completes without a reload, and is cleared on sign-out.
//
// IMPORTANT: Thread-safety. A main-thread object: call every member there. The service answers
// through the main queue. One load runs at a time. A load stopped by reset() or by the store going
// away changes nothing when its answer arrives, whatever the answer; only the load that is
// current may touch the loading flag or clear the load.
class RecentTransfersStore {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  static constexpr std::size_t maximumCount = 5;

  RecentTransfersStore(std::shared_ptr<RecentTransfersAPI> api, std::chrono::duration<double> freshnessInterval,
                       Clock now);
  ~RecentTransfersStore();  // stops a running load
  RecentTransfersStore(const RecentTransfersStore&) = delete;
  RecentTransfersStore& operator=(const RecentTransfersStore&) = delete;

  // Starts a load unless one runs or, without `force`, the complete list is still fresh.
  void refresh(bool force = false);
  // Folds a transfer this program completed into the list; without a list entry, the next
  // refresh loads from the service instead.
  void record(const CompletedTransfer& completed);
  // Stops a running load and forgets everything.
  void reset();

  bool showsLoadingPlaceholder() const;
  bool showsErrorPlaceholder() const;

  // At most five entries, newest first.
  const platform::Observable<std::vector<RecentTransfer>>& transfers() const { return transfers_; }
  // A load runs.
  const platform::Observable<bool>& isLoading() const { return isLoading_; }
  // The list came from a successful load since the last reset.
  const platform::Observable<bool>& hasCompleteSnapshot() const { return hasCompleteSnapshot_; }
  // The text of the last failed load.
  const platform::Observable<std::optional<std::string>>& errorMessage() const { return errorMessage_; }

  bool hasLoadTask() const { return loadTask_.has_value(); }

 private:
  struct LoadTask {
    std::uint64_t number;
    std::stop_source stop;
  };

  void loadFinished(std::uint64_t number, const std::stop_token& stop, RecentTransfersOutcome outcome);
  bool isCurrentLoad(std::uint64_t number) const { return loadTask_ && loadTask_->number == number; }
  void upsert(const RecentTransfer& entry);

  platform::Observable<std::vector<RecentTransfer>> transfers_;
  platform::Observable<bool> isLoading_{false};
  platform::Observable<bool> hasCompleteSnapshot_{false};
  platform::Observable<std::optional<std::string>> errorMessage_;

  std::shared_ptr<RecentTransfersAPI> api_;
  std::chrono::duration<double> freshnessInterval_;
  Clock now_;
  std::optional<std::chrono::system_clock::time_point> lastLoadedAt_;
  std::optional<LoadTask> loadTask_;  // set exactly while a load is outstanding
  std::uint64_t loadCount_ = 0;
  // Answers hold this weakly: once the store is gone they do nothing.
  std::shared_ptr<RecentTransfersStore*> self_ = std::make_shared<RecentTransfersStore*>(this);
};

}  // namespace tavrel
