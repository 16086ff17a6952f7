#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tavrel::platform {

// Tells when the desktop reports that the network changed (another Wi-Fi, a cable plugged in, a VPN
// up or down): connections made before the change may now lead nowhere, silently.
//
//   auto observation = monitor.observeChanges([] { /* the monitor's thread */ });
//
// IMPORTANT: Thread-safety. observeChanges() and the end of an observation may happen on any
// thread. Handlers run on the monitor's own thread, one at a time, and must not block for long.
// Ending an observation waits for its handler if it is running, so it must not happen inside one;
// once it has ended, the handler is never called again.
class NetworkMonitor {
 public:
  class Observation;

  NetworkMonitor();
  virtual ~NetworkMonitor();
  NetworkMonitor(const NetworkMonitor&) = delete;
  NetworkMonitor& operator=(const NetworkMonitor&) = delete;

  // Calls `handler` at every change from now on, until the observation is destroyed.
  [[nodiscard]] std::unique_ptr<Observation> observeChanges(std::function<void()> handler);

 protected:
  // Calls every current handler; for implementations, on their own thread.
  void reportChange();

 private:
  struct Registry;
  std::shared_ptr<Registry> registry_;
};

class NetworkMonitor::Observation {
 public:
  ~Observation();
  Observation(const Observation&) = delete;
  Observation& operator=(const Observation&) = delete;

 private:
  friend class NetworkMonitor;
  Observation(std::shared_ptr<Registry> registry, std::uint64_t id);

  std::shared_ptr<Registry> registry_;
  std::uint64_t id_;
};

}  // namespace tavrel::platform
