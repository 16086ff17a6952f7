#pragma once

// The program's side of the hand-off from the share program: claims the requests left in the shared
// container, checks that every item is still the file or folder that was shared, keeps the paths
// leased while transfers use them, answers every request with an acknowledgement, and submits
// accepted items to the transfer store as automatic transfers once the signed-in account may send.
// It scans when built, when the program becomes active (scanPendingRequests) and on the handoff
// signal.
//
// Handed-over paths may lie on a network or FUSE mount that hangs, and a request file may be up to
// 2 MiB of deeply nested JSON, so each request is read, decoded and its items checked on a worker
// thread under a time limit; a request whose worker runs out of time is refused and the worker
// abandoned. The main thread only lists the folder and writes the answers, one request after the
// other in the listed order, so a flood of requests delays hand-offs, never the interface. One scan
// runs at a time: triggers that arrive meanwhile (a flood of signals, say) add up to one more scan
// after it.
//
// An acceptance counts only when its acknowledgement removes the request file: a share program that
// removed it first (its Cancel) has withdrawn the request, and the answer is taken back instead.
//
// Claims live in this process only: the program runs as one process per session, so no second
// instance ever scans the same folder.
//
// IMPORTANT: Thread-safety. Main thread only, but for the item checks, whose results come back
// through the main queue. Reactions to the signal and to sign-in changes are posted there too and do
// nothing once the coordinator is gone; a flush or discard may run between two requests of a scan,
// never inside the handling of one. The transfer store must outlive the coordinator.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <vector>

#include "account/authentication_store.h"
#include "platform/logger.h"
#include "platform/main_queue.h"
#include "platform/observable.h"
#include "platform/time_limited_work.h"
#include "platform/translatable_text.h"
#include "sharehandoff/share_handoff_signal.h"
#include "sharehandoff/share_handoff_storage.h"
#include "sharehandoff/share_source_access_registry.h"
#include "transfer/transfer_store.h"

namespace tavrel {

// Why an accepted-looking item was refused.
struct ShareHandoffAcceptanceError {
  enum class Kind { invalidItem, checkTimedOut };
  Kind kind = Kind::invalidItem;
  std::string localizedDescription() const {
    if (kind == Kind::checkTimedOut) {
      return TAVREL_TRANSLATE_NOOP("Core", "Tavrel couldn’t reach the shared items in time. Try sharing them again.");
    }
    return TAVREL_TRANSLATE_NOOP("Core", "One or more shared items are no longer available.");
  }
};

// What checking one request's items found: the paths resolved so far, in item order, and why the
// request is refused, if it is.
struct ShareHandoffItemCheck {
  std::vector<std::filesystem::path> urls;
  std::optional<std::string> rejection;
  friend bool operator==(const ShareHandoffItemCheck&, const ShareHandoffItemCheck&) = default;
};

// Resolves each item's bookmark and checks that it still names the same item, and that the item is
// a regular file or a folder as announced; links are refused (they would be dropped later). Stops at
// the first refusal. Blocking: runs on a worker thread.
ShareHandoffItemCheck checkShareHandoffItems(const std::vector<ShareHandoffItem>& items, std::stop_token stop);

class ShareHandoffCoordinator {
 public:
  using Now = std::function<std::chrono::system_clock::time_point()>;
  using ReadRequest = std::function<ShareHandoffStorage::Result<ShareHandoffRequest>(
      const ShareHandoffStorage&, const ShareHandoffStorage::PendingRequestFile&)>;

  struct PendingSubmission {
    std::vector<std::filesystem::path> urls;  // in the request's item order
    TransferSourceAccessID sourceAccessID;
    friend bool operator==(const PendingSubmission&, const PendingSubmission&) = default;
  };

  struct Dependencies {
    platform::MainQueue& mainQueue;
    // Absent when the shared container could not be found: the coordinator then does nothing.
    std::optional<ShareHandoffStorage> storage;
    TransferStore& transferStore;
    std::shared_ptr<AuthenticationStore> authenticationStore;
    std::shared_ptr<ShareSourceAccessRegistry> accessRegistry;
    // Told when hand-offs were accepted or submitted.
    std::function<void()> onHandoffAccepted;
    // May be null: then only start-up and activation scan.
    ShareHandoffSignalling* signalling = nullptr;
    Now now = [] { return std::chrono::system_clock::now(); };
    std::function<ShareHandoffItemCheck(const std::vector<ShareHandoffItem>&, std::stop_token)> checkItems =
        checkShareHandoffItems;
    // Short of the share program's wait for an answer, so a refusal still reaches it. Covers the
    // reading of the request and the check of its items.
    platform::Duration checkTimeLimit = std::chrono::seconds(10);
    // Runs on the worker, before the items are checked.
    ReadRequest readRequest = [](const ShareHandoffStorage& storage,
                                 const ShareHandoffStorage::PendingRequestFile& listed) {
      return storage.readPendingRequest(listed);
    };
  };

  // Subscribes to the sign-in state and the signal, purges stale entries and scans once.
  explicit ShareHandoffCoordinator(Dependencies dependencies);
  // Releases every lease; accepted hand-offs not yet submitted are lost (and logged).
  ~ShareHandoffCoordinator();
  ShareHandoffCoordinator(const ShareHandoffCoordinator&) = delete;
  ShareHandoffCoordinator& operator=(const ShareHandoffCoordinator&) = delete;

  void scanPendingRequests();
  void flushPendingSubmissions();
  void discardPendingSubmissions();
  void handleAuthenticationChange(const AuthenticationState& state);
  // Coalesced: signals already waiting on the main queue make one scan.
  void handleHandoffSignal();

  const std::vector<PendingSubmission>& pendingSubmissions() const { return pendingSubmissions_; }
  bool isScanning() const { return isScanning_; }
  // Whether a trigger arrived during the scan under way, so another scan follows it.
  bool isRescanRequested() const { return isRescanRequested_; }
  bool isObservingSignal() const { return signalObserver_ && signalObserver_->isObserving(); }

 private:
  // What the worker found of one listed request file.
  struct Examination {
    ShareHandoffStorage::Result<ShareHandoffRequest> request;
    std::optional<ShareHandoffItemCheck> check;  // absent when the file was refused or already claimed
  };

  void answerNextEntry();
  void answerEntry(const ShareHandoffStorage::PendingRequestFile& entry,
                   platform::TimeLimitedWork<Examination>::Outcome outcome);
  void acceptRequest(const ShareHandoffStorage::PendingRequestFile& entry, const ShareHandoffRequest& request,
                     ShareHandoffItemCheck check);
  void endScan(bool flush);
  void acknowledge(const ShareHandoffStorage::PendingRequestFile& entry, std::optional<std::string> rejection);

  platform::MainQueue& mainQueue_;
  std::optional<ShareHandoffStorage> storage_;
  TransferStore& transferStore_;
  std::shared_ptr<AuthenticationStore> authenticationStore_;
  std::shared_ptr<ShareSourceAccessRegistry> accessRegistry_;
  std::function<void()> onHandoffAccepted_;
  Now now_;
  std::function<ShareHandoffItemCheck(const std::vector<ShareHandoffItem>&, std::stop_token)> checkItems_;
  platform::Duration checkTimeLimit_;
  ReadRequest readRequest_;
  platform::Logger logger_{"com.tavrel.desktop", "ShareHandoff"};

  std::vector<PendingSubmission> pendingSubmissions_;
  platform::Subscription authenticationObserver_;
  std::unique_ptr<ShareHandoffSignalObserver> signalObserver_;
  bool isScanning_ = false;
  bool isRescanRequested_ = false;
  bool isSignalScanPosted_ = false;
  // The scan under way: its request files, the next one to answer, and the worker in flight.
  std::vector<ShareHandoffStorage::PendingRequestFile> scanEntries_;
  std::size_t nextEntry_ = 0;
  std::shared_ptr<platform::TimeLimitedWork<Examination>> examination_;
  bool wasAuthenticated_ = false;
  std::unordered_set<platform::Uuid> claimedRequestIDs_;

  std::shared_ptr<ShareHandoffCoordinator*> lifetime_;
};

}  // namespace tavrel
