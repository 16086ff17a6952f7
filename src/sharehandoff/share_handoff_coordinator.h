#pragma once

// The program's side of the hand-off from the share program: claims the requests left in the shared
// container, checks that every item is still the file or folder that was shared, keeps the paths
// leased while transfers use them, answers every request with an acknowledgement, and submits
// accepted items to the transfer store as automatic transfers once the signed-in account may send.
// It scans when built, when the program becomes active (scanPendingRequests) and on the handoff
// signal.
//
// Claims live in this process only: the program runs as one process per session, so no second
// instance ever scans the same folder.
//
// IMPORTANT: Thread-safety. Main thread only. Reactions to the signal and to sign-in changes are
// posted to the main queue, so they never run in the middle of a scan, and they do nothing once the
// coordinator is gone. The transfer store must outlive the coordinator.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "account/authentication_store.h"
#include "platform/logger.h"
#include "platform/main_queue.h"
#include "platform/observable.h"
#include "platform/translatable_text.h"
#include "sharehandoff/share_handoff_signal.h"
#include "sharehandoff/share_handoff_storage.h"
#include "sharehandoff/share_source_access_registry.h"
#include "transfer/transfer_store.h"

namespace tavrel {

// Why an accepted-looking item was refused.
struct ShareHandoffAcceptanceError {
  enum class Kind { invalidItem };
  Kind kind = Kind::invalidItem;
  std::string localizedDescription() const {
    return TAVREL_TRANSLATE_NOOP("Core", "One or more shared items are no longer available.");
  }
};

class ShareHandoffCoordinator {
 public:
  using Now = std::function<std::chrono::system_clock::time_point()>;

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
  void handleHandoffSignal() { scanPendingRequests(); }

  const std::vector<PendingSubmission>& pendingSubmissions() const { return pendingSubmissions_; }
  bool isObservingSignal() const { return signalObserver_ && signalObserver_->isObserving(); }

 private:
  void acceptRequest(const ShareHandoffStorage::PendingEntry& entry, const ShareHandoffRequest& request,
                     const ShareHandoffStorage& storage);
  void acknowledge(const ShareHandoffStorage& storage, const ShareHandoffStorage::PendingEntry& entry,
                   std::optional<std::string> rejection);

  platform::MainQueue& mainQueue_;
  std::optional<ShareHandoffStorage> storage_;
  TransferStore& transferStore_;
  std::shared_ptr<AuthenticationStore> authenticationStore_;
  std::shared_ptr<ShareSourceAccessRegistry> accessRegistry_;
  std::function<void()> onHandoffAccepted_;
  Now now_;
  platform::Logger logger_{"com.tavrel.desktop", "ShareHandoff"};

  std::vector<PendingSubmission> pendingSubmissions_;
  platform::Subscription authenticationObserver_;
  std::unique_ptr<ShareHandoffSignalObserver> signalObserver_;
  bool isScanning_ = false;
  bool wasAuthenticated_ = false;
  std::unordered_set<platform::Uuid> claimedRequestIDs_;

  std::shared_ptr<ShareHandoffCoordinator*> lifetime_;
};

}  // namespace tavrel
