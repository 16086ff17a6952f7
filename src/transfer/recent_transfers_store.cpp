#include "transfer/recent_transfers_store.h"

#include <algorithm>

#include "platform/logger.h"

namespace tavrel {
namespace {

const platform::Logger& logger() {
  static const platform::Logger instance("com.tavrel.desktop", "RecentTransfersStore");
  return instance;
}

// What kind of failure it was, for the log: never the text, which may carry what the service said.
std::string failureCode(const RecentTransfersOutcome& outcome) {
  if (std::holds_alternative<AccessTokenError>(outcome)) return "accessTokenUnavailable";
  const auto& error = std::get<TransferAPIError>(outcome);
  if (const auto* rejected = std::get_if<TransferAPIError::Rejected>(&error.errorCase())) {
    return "rejected " + std::to_string(rejected->status) + " " + rejected->code;
  }
  if (error.is<TransferAPIError::Unauthorized>()) return "unauthorized";
  if (error.is<TransferAPIError::InvalidResponse>()) return "invalidResponse";
  return "transportUnavailable";
}

// Newest first; entries with the same date keep the order they came in.
std::vector<RecentTransfer> newestFirst(std::vector<RecentTransfer> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const RecentTransfer& a, const RecentTransfer& b) { return a.createdAt > b.createdAt; });
  if (entries.size() > RecentTransfersStore::maximumCount) entries.resize(RecentTransfersStore::maximumCount);
  return entries;
}

}  // namespace

RecentTransfersStore::RecentTransfersStore(std::shared_ptr<RecentTransfersAPI> api,
                                           std::chrono::duration<double> freshnessInterval, Clock now)
    : api_(std::move(api)), freshnessInterval_(freshnessInterval), now_(std::move(now)) {}

RecentTransfersStore::~RecentTransfersStore() {
  if (loadTask_) loadTask_->stop.request_stop();
}

void RecentTransfersStore::refresh(bool force) {
  if (loadTask_) return;
  if (!force && hasCompleteSnapshot_.value() && lastLoadedAt_ && now_() - *lastLoadedAt_ < freshnessInterval_) return;

  isLoading_.set(true);
  errorMessage_.set(std::nullopt);
  const std::uint64_t number = ++loadCount_;
  loadTask_ = LoadTask{number, std::stop_source()};
  const std::stop_token stop = loadTask_->stop.get_token();
  std::weak_ptr<RecentTransfersStore*> weakSelf = self_;
  api_->recentTransfers(stop, [weakSelf, number, stop](RecentTransfersOutcome outcome) {
    if (const auto self = weakSelf.lock()) (*self)->loadFinished(number, stop, std::move(outcome));
  });
}

void RecentTransfersStore::loadFinished(std::uint64_t number, const std::stop_token& stop,
                                        RecentTransfersOutcome outcome) {
  if (std::holds_alternative<Cancelled>(outcome)) {
    // A load stopped by reset() must not touch the flag or the task of a load started after it.
    if (!isCurrentLoad(number)) return;
    loadTask_.reset();
    isLoading_.set(false);
    return;
  }
  if (stop.stop_requested() || !isCurrentLoad(number)) return;

  loadTask_.reset();
  if (auto* entries = std::get_if<std::vector<RecentTransfer>>(&outcome)) {
    transfers_.set(newestFirst(std::move(*entries)));
    hasCompleteSnapshot_.set(true);
    lastLoadedAt_ = now_();
  } else {
    // The old list, if any, stays visible.
    const std::string message = std::holds_alternative<AccessTokenError>(outcome)
                                    ? std::get<AccessTokenError>(outcome).message
                                    : std::string(std::get<TransferAPIError>(outcome).what());
    logger().error("Recent transfers failed to load: {}: {}", platform::publicArg(failureCode(outcome)), message);
    errorMessage_.set(message);
  }
  isLoading_.set(false);
}

void RecentTransfersStore::record(const CompletedTransfer& completed) {
  if (completed.recentTransfer) {
    upsert(*completed.recentTransfer);
  } else {
    lastLoadedAt_.reset();
  }
}

void RecentTransfersStore::upsert(const RecentTransfer& entry) {
  std::vector<RecentTransfer> entries;
  entries.reserve(transfers_.value().size() + 1);
  for (const auto& existing : transfers_.value()) {
    if (existing.id != entry.id) entries.push_back(existing);
  }
  entries.push_back(entry);
  transfers_.set(newestFirst(std::move(entries)));
  errorMessage_.set(std::nullopt);
}

void RecentTransfersStore::reset() {
  if (loadTask_) {
    loadTask_->stop.request_stop();
    loadTask_.reset();
  }
  transfers_.set({});
  isLoading_.set(false);
  hasCompleteSnapshot_.set(false);
  errorMessage_.set(std::nullopt);
  lastLoadedAt_.reset();
}

bool RecentTransfersStore::showsLoadingPlaceholder() const {
  return isLoading_.value() && transfers_.value().empty() && !hasCompleteSnapshot_.value();
}

bool RecentTransfersStore::showsErrorPlaceholder() const {
  return errorMessage_.value().has_value() && transfers_.value().empty() && !hasCompleteSnapshot_.value();
}

}  // namespace tavrel
