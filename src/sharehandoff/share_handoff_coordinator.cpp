#include "sharehandoff/share_handoff_coordinator.h"

#include <sys/stat.h>

#include "sharehandoff/share_handoff_bookmark.h"

namespace tavrel {
namespace {

using Outcome = ShareHandoffAcknowledgementOutcome;

bool isAuthenticated(const AuthenticationState& state) {
  return std::holds_alternative<authentication_state::Authenticated>(state);
}

}  // namespace

ShareHandoffCoordinator::ShareHandoffCoordinator(Dependencies dependencies)
    : mainQueue_(dependencies.mainQueue),
      storage_(std::move(dependencies.storage)),
      transferStore_(dependencies.transferStore),
      authenticationStore_(std::move(dependencies.authenticationStore)),
      accessRegistry_(std::move(dependencies.accessRegistry)),
      onHandoffAccepted_(std::move(dependencies.onHandoffAccepted)),
      now_(std::move(dependencies.now)),
      lifetime_(std::make_shared<ShareHandoffCoordinator*>(this)) {
  std::weak_ptr<ShareHandoffCoordinator*> weak = lifetime_;
  wasAuthenticated_ = isAuthenticated(authenticationStore_->state());
  // Delivers the current state at once, so a flush is queued right away.
  authenticationObserver_ = authenticationStore_->subscribe(
      [weak](const AuthenticationState& state) {
        if (auto self = weak.lock()) (*self)->handleAuthenticationChange(state);
      },
      platform::Delivery::removeDuplicates);
  if (dependencies.signalling) {
    signalObserver_ = std::make_unique<ShareHandoffSignalObserver>(*dependencies.signalling, mainQueue_, [weak] {
      if (auto self = weak.lock()) (*self)->handleHandoffSignal();
    });
  }
  if (storage_) (void)storage_->removeStaleEntries(now_());
  scanPendingRequests();
}

ShareHandoffCoordinator::~ShareHandoffCoordinator() {
  if (!pendingSubmissions_.empty()) {
    logger_.notice("Quitting with {} accepted hand-off(s) not yet submitted", pendingSubmissions_.size());
  }
  lifetime_.reset();
  accessRegistry_->releaseAll();
}

void ShareHandoffCoordinator::scanPendingRequests() {
  if (isScanning_ || !storage_) return;
  isScanning_ = true;
  const ShareHandoffStorage storage = *storage_;
  if (auto purged = storage.removeStaleEntries(now_()); !purged) {
    logger_.error("Purging stale hand-offs failed: {}", purged.error().localizedDescription());
  }
  auto entries = storage.pendingEntries();
  if (!entries) {
    logger_.error("Listing pending hand-offs failed: {}", entries.error().localizedDescription());
    isScanning_ = false;
    return;
  }
  for (const auto& entry : *entries) {
    if (entry.request) acceptRequest(entry, *entry.request, storage);
    else acknowledge(storage, entry, entry.rejectionMessage.value_or(ShareHandoffStorageError{}.localizedDescription()));
  }
  flushPendingSubmissions();
  isScanning_ = false;
}

void ShareHandoffCoordinator::acceptRequest(const ShareHandoffStorage::PendingEntry& entry,
                                            const ShareHandoffRequest& request, const ShareHandoffStorage& storage) {
  if (claimedRequestIDs_.contains(request.id)) {
    // The file came back (an acknowledgement got lost): answer again, but never submit twice.
    acknowledge(storage, entry, std::nullopt);
    return;
  }
  std::vector<std::filesystem::path> urls;
  std::optional<std::string> rejection;
  for (const auto& item : request.items) {
    auto resolved = resolveShareHandoffBookmark(item.bookmarkData);
    if (!resolved) {
      rejection = resolved.error();
      break;
    }
    if (resolved->isStale) {
      rejection = ShareHandoffAcceptanceError{}.localizedDescription();
      break;
    }
    urls.push_back(resolved->path);
    struct stat status {};
    const bool exists = ::lstat(resolved->path.c_str(), &status) == 0;
    const bool isDirectory = exists && S_ISDIR(status.st_mode);
    if (!exists || (item.kind == ShareHandoffItemKind::folder) != isDirectory) {
      rejection = ShareHandoffAcceptanceError{}.localizedDescription();
      break;
    }
  }
  if (!rejection) {
    const auto accessID = TransferSourceAccessID::generate();
    accessRegistry_->add(accessID, {urls});
    ShareHandoffAcknowledgement acknowledgement{1, request.id, now_(), Outcome::accepted, std::nullopt};
    auto written = storage.writeAcknowledgement(acknowledgement, entry.file);
    if (written) {
      claimedRequestIDs_.insert(request.id);
      pendingSubmissions_.push_back({std::move(urls), accessID});
      logger_.info("Accepted a hand-off of {} item(s)", request.items.size());
      if (onHandoffAccepted_) onHandoffAccepted_();
      return;
    }
    // Without an acknowledgement the share program would give up; this one is refused instead.
    accessRegistry_->release(accessID);
    urls.clear();
    rejection = written.error().localizedDescription();
  }
  for (const auto& url : urls) accessRegistry_->stopAccessing(url);
  logger_.notice("Rejected a hand-off: {}", *rejection);
  acknowledge(storage, entry, rejection);
}

void ShareHandoffCoordinator::acknowledge(const ShareHandoffStorage& storage,
                                          const ShareHandoffStorage::PendingEntry& entry,
                                          std::optional<std::string> rejection) {
  const auto outcome = rejection ? Outcome::rejected : Outcome::accepted;
  ShareHandoffAcknowledgement acknowledgement{1, entry.requestID, now_(), outcome, std::move(rejection)};
  if (auto written = storage.writeAcknowledgement(acknowledgement, entry.file); !written) {
    logger_.error("Writing a hand-off acknowledgement failed: {}", written.error().localizedDescription());
  }
}

void ShareHandoffCoordinator::flushPendingSubmissions() {
  if (!authenticationStore_->canInitiateTransfer()) return;
  auto submissions = std::exchange(pendingSubmissions_, {});
  for (auto& submission : submissions) {
    transferStore_.send(transfer_action::EnqueueSubmission{
        TransferSubmission{std::move(submission.urls), TransferStartPolicy::automatic, submission.sourceAccessID}});
  }
  if (!submissions.empty() && onHandoffAccepted_) onHandoffAccepted_();
}

void ShareHandoffCoordinator::discardPendingSubmissions() {
  auto submissions = std::exchange(pendingSubmissions_, {});
  if (!submissions.empty()) {
    // Their acknowledgements already said "accepted"; the share program cannot learn otherwise.
    logger_.notice("Signed out with {} accepted hand-off(s) not yet submitted; they are dropped", submissions.size());
  }
  for (const auto& submission : submissions) accessRegistry_->release(submission.sourceAccessID);
}

void ShareHandoffCoordinator::handleAuthenticationChange(const AuthenticationState& state) {
  const bool signedOut = wasAuthenticated_ && !isAuthenticated(state);
  wasAuthenticated_ = isAuthenticated(state);
  std::weak_ptr<ShareHandoffCoordinator*> weak = lifetime_;
  mainQueue_.post([weak, signedOut] {
    auto self = weak.lock();
    if (!self) return;
    if (signedOut) (*self)->discardPendingSubmissions();
    else (*self)->flushPendingSubmissions();
  });
}

}  // namespace tavrel
