#include "transfer/transfer_feature_state.h"

#include <algorithm>

#include "transfer/formatting.h"

namespace tavrel {

std::optional<PreparedTransfer> TransferReviewState::displayedPreparedTransfer() const {
  if (retryPreparedTransfer) return retryPreparedTransfer;
  if (const auto* ready = std::get_if<review_preparation::Ready>(&preparation)) return ready->preparedTransfer;
  return std::nullopt;
}

std::string TransferReviewState::summaryText() const {
  std::string text = selection.summaryText();
  const auto prepared = displayedPreparedTransfer();
  if (prepared && prepared->files.size() != selection.items.size()) {
    const auto count = static_cast<std::int64_t>(prepared->files.size());
    text += " (" + formatCompactCount(count, true) + " " + (count == 1 ? "file" : "files") + ")";
  }
  return text;
}

std::optional<std::int64_t> TransferReviewState::preparedTotalBytes() const {
  const auto prepared = displayedPreparedTransfer();
  if (!prepared) return std::nullopt;
  return prepared->totalBytes();
}

const TransferReviewState* reviewState(const TransferPhase& phase) {
  const auto* reviewing = std::get_if<transfer_phase::Reviewing>(&phase);
  return reviewing ? &reviewing->review : nullptr;
}

TransferReviewState* reviewState(TransferPhase& phase) {
  auto* reviewing = std::get_if<transfer_phase::Reviewing>(&phase);
  return reviewing ? &reviewing->review : nullptr;
}

const ActiveUpload* activeUpload(const TransferPhase& phase) {
  const auto* uploading = std::get_if<transfer_phase::Uploading>(&phase);
  return uploading ? &uploading->upload : nullptr;
}

const CompletedTransfer* completedTransfer(const TransferPhase& phase) {
  const auto* completed = std::get_if<transfer_phase::Completed>(&phase);
  return completed ? &completed->transfer : nullptr;
}

std::optional<RecoverableTransferFailure> TransferFeatureState::failure(const UploadRunID& runID) const {
  for (auto it = failures.rbegin(); it != failures.rend(); ++it) {
    if (it->runID && *it->runID == runID) return *it;
  }
  return std::nullopt;
}

std::optional<TransferItemID> TransferFeatureState::activeTransferID() const {
  if (!currentTransferID) return std::nullopt;
  if (!reviewState(phase) && !activeUpload(phase)) return std::nullopt;
  const auto& id = *currentTransferID;
  if (std::any_of(queue.begin(), queue.end(), [&](const auto& entry) { return entry.id == id; })) return std::nullopt;
  if (std::any_of(failures.begin(), failures.end(), [&](const auto& entry) { return entry.id == id; })) {
    return std::nullopt;
  }
  return id;
}

bool TransferFeatureState::hasActivity() const {
  return activeTransferID().has_value() || !queue.empty() || !failures.empty();
}

std::vector<TransferItemID> TransferFeatureState::allItemIDs() const {
  std::vector<TransferItemID> ids;
  if (auto active = activeTransferID()) ids.push_back(*active);
  for (const auto& entry : queue) ids.push_back(entry.id);
  for (auto it = failures.rbegin(); it != failures.rend(); ++it) ids.push_back(it->id);
  return ids;
}

}  // namespace tavrel
