#include "sharehandoff/share_source_access_registry.h"

namespace tavrel {

ShareSourceAccessRegistry::ShareSourceAccessRegistry(StopAccessing stopAccessing)
    : stopAccessing_(std::move(stopAccessing)) {}

void ShareSourceAccessRegistry::add(const TransferSourceAccessID& id, Lease lease) {
  leases_.insert_or_assign(id, std::move(lease));
}

void ShareSourceAccessRegistry::release(const TransferSourceAccessID& id) {
  const auto found = leases_.find(id);
  if (found == leases_.end()) return;
  const Lease lease = std::move(found->second);
  leases_.erase(found);
  for (const auto& url : lease.urls) stopAccessing(url);
}

void ShareSourceAccessRegistry::releaseAll() {
  std::vector<TransferSourceAccessID> ids;
  ids.reserve(leases_.size());
  for (const auto& [id, lease] : leases_) ids.push_back(id);
  for (const auto& id : ids) release(id);
}

void ShareSourceAccessRegistry::stopAccessing(const std::filesystem::path& url) const {
  if (stopAccessing_) stopAccessing_(url);
}

}  // namespace tavrel
