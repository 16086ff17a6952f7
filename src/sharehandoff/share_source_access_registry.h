#pragma once

// Keeps the paths of accepted hand-offs registered under the access identity the transfer store was
// given, until the store says no transfer needs them any more (or a sign-out or quit drops them).
// Linux grants no per-file access to end, so the default stop does nothing; the leases still make
// every release observable.
//
// IMPORTANT: Thread-safety. Main thread only.

#include <filesystem>
#include <functional>
#include <unordered_map>
#include <vector>

#include "transfer/transfer_identities.h"

namespace tavrel {

class ShareSourceAccessRegistry {
 public:
  struct Lease {
    std::vector<std::filesystem::path> urls;
    friend bool operator==(const Lease&, const Lease&) = default;
  };
  using StopAccessing = std::function<void(const std::filesystem::path&)>;

  explicit ShareSourceAccessRegistry(StopAccessing stopAccessing = {});

  void add(const TransferSourceAccessID& id, Lease lease);
  // Removes the lease and ends access to each of its paths, in order. An unknown id does nothing.
  void release(const TransferSourceAccessID& id);
  void releaseAll();
  // Ends access to one path that never became a lease.
  void stopAccessing(const std::filesystem::path& url) const;

  const std::unordered_map<TransferSourceAccessID, Lease>& leases() const { return leases_; }

 private:
  std::unordered_map<TransferSourceAccessID, Lease> leases_;
  StopAccessing stopAccessing_;
};

}  // namespace tavrel
