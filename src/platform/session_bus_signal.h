#pragma once

// A broadcast on the user's session bus that carries one name: how our own programs tell each other
// "look again" without sharing anything else. Each name travels as the first argument of the signal
// com.tavrel.Signal.Posted on /com/tavrel/Signal, and observers match on that argument, so the name
// may be any text (D-Bus member names could not hold dots and hyphens).
//
//   auto observation = platform::SessionBusSignal::observe("group.com.tavrel.macos.share-handoff.changed", [] { /* any thread */ });
//   platform::SessionBusSignal::post("group.com.tavrel.macos.share-handoff.changed");
//
// GDBus on private connections: an observer has its own connection and a thread running its own
// GLib context, so it needs no GLib loop on the main thread, and nothing reaches the handler after
// the observer is destroyed. A connection that drops never ends the process.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/expected.h"

namespace tavrel::platform {

class SessionBusSignal {
 public:
  // Starts observing `name`; `handler` runs on the observer's own thread. Once this returns, the bus
  // delivers every later post. Fails (with the reason, for logs) without a session bus.
  static Expected<std::unique_ptr<SessionBusSignal>, std::string> observe(std::string name,
                                                                          std::function<void()> handler);
  // Broadcasts `name` and waits until the bus has it. Fails (with the reason) without a session bus.
  static Expected<Unit, std::string> post(std::string_view name);

  ~SessionBusSignal();
  SessionBusSignal(const SessionBusSignal&) = delete;
  SessionBusSignal& operator=(const SessionBusSignal&) = delete;

 private:
  struct Native;
  explicit SessionBusSignal(std::unique_ptr<Native> native);

  std::unique_ptr<Native> native_;
  std::thread thread_;
};

}  // namespace tavrel::platform
