#include "sharehandoff/share_handoff_coordinator.h"

#include <sys/stat.h>

#include "sharehandoff/share_handoff_bookmark.h"

namespace tavrel {
namespace {

using Outcome = ShareHandoffAcknowledgementOutcome;

bool isAuthenticated(const AuthenticationState& state) {
  return std::holds_alternative<authentication_state::Authenticated>(state);
}

std::string noLongerAvailable() { return ShareHandoffAcceptanceError{}.localizedDescription(); }

}  // namespace

ShareHandoffItemCheck checkShareHandoffItems(const std::vector<ShareHandoffItem>& items, std::stop_token stop) {
  ShareHandoffItemCheck check;
  for (const auto& item : items) {
    if (stop.stop_requested()) {
      check.rejection = ShareHandoffAcceptanceError{ShareHandoffAcceptanceError::Kind::checkTimedOut}.localizedDescription();
      break;
    }
    auto resolved = resolveShareHandoffBookmark(item.bookmarkData);
    if (!resolved) {
      check.rejection = resolved.error();
      break;
    }
    if (resolved->isStale) {
      check.rejection = noLongerAvailable();
      break;
    }
    check.urls.push_back(resolved->path);
    struct stat status {};
    if (::lstat(resolved->path.c_str(), &status) != 0) {
      check.rejection = noLongerAvailable();
      break;
    }
    // A link, or anything but a regular file or a folder, would be refused when the transfer is
    // prepared, or vanish before it (a dangling link): never accept it.
    const bool fits = item.kind == ShareHandoffItemKind::folder ? S_ISDIR(status.st_mode) : S_ISREG(status.st_mode);
    if (!fits) {
      check.rejection = noLongerAvailable();
      break;
    }
  }
  return check;
}

ShareHandoffCoordinator::ShareHandoffCoordinator(Dependencies dependencies)
    : mainQueue_(dependencies.mainQueue),
      storage_(std::move(dependencies.storage)),
      transferStore_(dependencies.transferStore),
      authenticationStore_(std::move(dependencies.authenticationStore)),
      accessRegistry_(std::move(dependencies.accessRegistry)),
      onHandoffAccepted_(std::move(dependencies.onHandoffAccepted)),
      now_(std::move(dependencies.now)),
      checkItems_(std::move(dependencies.checkItems)),
      checkTimeLimit_(dependencies.checkTimeLimit),
      readRequest_(std::move(dependencies.readRequest)),
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
  if (examination_) examination_->cancel();
  accessRegistry_->releaseAll();
}

void ShareHandoffCoordinator::handleHandoffSignal() {
  if (isSignalScanPosted_) return;
  isSignalScanPosted_ = true;
  std::weak_ptr<ShareHandoffCoordinator*> weak = lifetime_;
  mainQueue_.post([weak] {
    auto self = weak.lock();
    if (!self) return;
    (*self)->isSignalScanPosted_ = false;
    (*self)->scanPendingRequests();
  });
}

void ShareHandoffCoordinator::scanPendingRequests() {
  if (!storage_) return;
  if (isScanning_) {
    isRescanRequested_ = true;
    return;
  }
  isScanning_ = true;
  isRescanRequested_ = false;
  if (auto purged = storage_->removeStaleEntries(now_()); !purged) {
    logger_.error("Purging stale hand-offs failed: {}", purged.error().localizedDescription());
  }
  // Only the names are looked at here; each file is read on the worker.
  auto entries = storage_->pendingRequestFiles();
  if (!entries) {
    logger_.error("Listing pending hand-offs failed: {}", entries.error().localizedDescription());
    return endScan(false);
  }
  scanEntries_ = std::move(*entries);
  nextEntry_ = 0;
  answerNextEntry();
}

void ShareHandoffCoordinator::answerNextEntry() {
  if (nextEntry_ >= scanEntries_.size()) return endScan(true);
  const auto& entry = scanEntries_[nextEntry_++];
  // A file's name is its request's id (the read refuses any other), so whether it was claimed is
  // known before it is read. A claimed one is still read: an unreadable file is refused as such.
  const bool claimed = claimedRequestIDs_.contains(entry.requestID);
  std::weak_ptr<ShareHandoffCoordinator*> weak = lifetime_;
  examination_ = std::make_shared<platform::TimeLimitedWork<Examination>>();
  examination_->start(
      mainQueue_, checkTimeLimit_,
      [storage = *storage_, entry, claimed, read = readRequest_, check = checkItems_](std::stop_token stop) {
        Examination examination{read(storage, entry), std::nullopt};
        if (examination.request && !claimed && !stop.stop_requested()) {
          examination.check = check(examination.request->items, stop);
        }
        return examination;
      },
      [weak, index = nextEntry_ - 1](platform::TimeLimitedWork<Examination>::Outcome outcome) {
        auto self = weak.lock();
        if (!self) return;
        auto& coordinator = **self;
        coordinator.examination_.reset();
        const auto entry = coordinator.scanEntries_[index];
        coordinator.answerEntry(entry, std::move(outcome));
        coordinator.answerNextEntry();
      });
}

void ShareHandoffCoordinator::answerEntry(const ShareHandoffStorage::PendingRequestFile& entry,
                                          platform::TimeLimitedWork<Examination>::Outcome outcome) {
  auto* examination = std::get_if<Examination>(&outcome);
  if (!examination) {
    logger_.error("Reading a hand-off and checking its items ran out of time");
    // One already claimed was sent: it is never refused afterwards.
    std::optional<std::string> rejection;
    if (!claimedRequestIDs_.contains(entry.requestID)) {
      rejection = ShareHandoffAcceptanceError{ShareHandoffAcceptanceError::Kind::checkTimedOut}.localizedDescription();
    }
    acknowledge(entry, std::move(rejection));
    return;
  }
  if (!examination->request) {
    acknowledge(entry, examination->request.error().localizedDescription());
    return;
  }
  if (!examination->check) {
    // The file came back (an acknowledgement got lost): answer again, but never submit twice.
    acknowledge(entry, std::nullopt);
    return;
  }
  acceptRequest(entry, *examination->request, std::move(*examination->check));
}

void ShareHandoffCoordinator::endScan(bool flush) {
  scanEntries_.clear();
  nextEntry_ = 0;
  if (flush) flushPendingSubmissions();
  isScanning_ = false;
  if (isRescanRequested_) scanPendingRequests();
}

void ShareHandoffCoordinator::acceptRequest(const ShareHandoffStorage::PendingRequestFile& entry,
                                            const ShareHandoffRequest& request, ShareHandoffItemCheck check) {
  auto urls = std::move(check.urls);
  std::optional<std::string> rejection = std::move(check.rejection);
  if (!rejection) {
    const auto accessID = TransferSourceAccessID::generate();
    accessRegistry_->add(accessID, {urls});
    ShareHandoffAcknowledgement acknowledgement{1, request.id, now_(), Outcome::accepted, std::nullopt};
    auto written = storage_->writeAcknowledgement(acknowledgement, entry.file);
    if (written && *written == ShareHandoffStorage::AnsweredRequest::taken) {
      claimedRequestIDs_.insert(request.id);
      pendingSubmissions_.push_back({std::move(urls), accessID});
      logger_.info("Accepted a hand-off of {} item(s)", request.items.size());
      if (onHandoffAccepted_) onHandoffAccepted_();
      return;
    }
    accessRegistry_->release(accessID);
    if (written) {
      // The user cancelled the share while it was looked at: nobody waits for the answer, and
      // nothing is sent.
      storage_->removeAcknowledgement(request.id);
      logger_.info("A hand-off was withdrawn before it was taken");
      return;
    }
    // Without an acknowledgement the share program would give up; this one is refused instead.
    urls.clear();
    rejection = written.error().localizedDescription();
  }
  for (const auto& url : urls) accessRegistry_->stopAccessing(url);
  logger_.notice("Rejected a hand-off: {}", *rejection);
  acknowledge(entry, rejection);
}

void ShareHandoffCoordinator::acknowledge(const ShareHandoffStorage::PendingRequestFile& entry,
                                          std::optional<std::string> rejection) {
  const auto outcome = rejection ? Outcome::rejected : Outcome::accepted;
  ShareHandoffAcknowledgement acknowledgement{1, entry.requestID, now_(), outcome, std::move(rejection)};
  const auto written = storage_->writeAcknowledgement(acknowledgement, entry.file);
  if (!written) {
    logger_.error("Writing a hand-off acknowledgement failed: {}", written.error().localizedDescription());
  } else if (*written == ShareHandoffStorage::AnsweredRequest::withdrawn) {
    // Withdrawn meanwhile: nobody waits for this answer.
    storage_->removeAcknowledgement(entry.requestID);
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
