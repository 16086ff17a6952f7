#include "platform/network_monitor.h"

#include <map>
#include <mutex>

namespace tavrel::platform {

struct NetworkMonitor::Registry {
  // Held while handlers run, so an observation that ends waits for its handler to return.
  std::mutex mutex;
  std::uint64_t nextId = 0;
  std::map<std::uint64_t, std::function<void()>> handlers;
};

NetworkMonitor::NetworkMonitor() : registry_(std::make_shared<Registry>()) {}

NetworkMonitor::~NetworkMonitor() = default;

std::unique_ptr<NetworkMonitor::Observation> NetworkMonitor::observeChanges(std::function<void()> handler) {
  std::lock_guard lock(registry_->mutex);
  const std::uint64_t id = registry_->nextId++;
  registry_->handlers.emplace(id, std::move(handler));
  return std::unique_ptr<Observation>(new Observation(registry_, id));
}

void NetworkMonitor::reportChange() {
  std::lock_guard lock(registry_->mutex);
  for (const auto& [id, handler] : registry_->handlers) handler();
}

NetworkMonitor::Observation::Observation(std::shared_ptr<Registry> registry, std::uint64_t id)
    : registry_(std::move(registry)), id_(id) {}

NetworkMonitor::Observation::~Observation() {
  std::lock_guard lock(registry_->mutex);
  registry_->handlers.erase(id_);
}

}  // namespace tavrel::platform
