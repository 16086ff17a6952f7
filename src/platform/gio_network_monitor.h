#pragma once

#include <memory>
#include <thread>

#include "platform/network_monitor.h"

namespace tavrel::platform {

// The desktop's own report of network changes: GIO's network monitor (NetworkManager where it
// runs, else the kernel's routing table through netlink, the portal inside a sandbox). A change of
// route or address, a new default gateway or a connection brought up or down is a change.
//
// It runs on a thread of its own with its own GLib context, so it needs no GLib loop elsewhere:
// the Qt program, the tools and the tests get it alike. GIO makes one monitor per process and binds
// it to the context that asked first, so there is one of these per process too: shared().
class GioNetworkMonitor final : public NetworkMonitor {
 public:
  // The process's monitor, started on first use and watching from then on.
  static std::shared_ptr<NetworkMonitor> shared();

  ~GioNetworkMonitor() override;

 private:
  struct Native;
  GioNetworkMonitor();

  std::unique_ptr<Native> native_;
  std::thread thread_;
};

}  // namespace tavrel::platform
