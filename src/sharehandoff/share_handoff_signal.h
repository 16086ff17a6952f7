#pragma once

// The one cross-process signal between the share program and the program: "something changed in
// the Pending folder". It carries nothing; whoever hears it scans the folder.

#include <functional>
#include <memory>

#include "platform/main_queue.h"

namespace tavrel {

inline constexpr const char* shareHandoffSignalName = "group.com.tavrel.macos.share-handoff.changed";

// Posting and observing the handoff signal. Live: the session bus (SessionBusShareHandoffSignal);
// tests use an in-process stand-in.
class ShareHandoffSignalling {
 public:
  // Ends the observation when destroyed; after that the handler is never called again.
  class Registration {
   public:
    virtual ~Registration() = default;
  };

  virtual ~ShareHandoffSignalling() = default;

  // `handler` may be called on any thread. Null when the signal cannot be observed (no session bus).
  virtual std::unique_ptr<Registration> observe(std::function<void()> handler) = 0;
  // Broadcasts the signal; false when it could not be sent. Blocking for at most a short while.
  virtual bool post() = 0;
};

// Turns the signal into a call of `handler` on the main thread, for as long as the observer lives.
//
// IMPORTANT: Thread-safety. Construct and destroy it on the main thread; the handler runs there too,
// posted through the main queue, and never after the observer has been destroyed.
class ShareHandoffSignalObserver {
 public:
  ShareHandoffSignalObserver(ShareHandoffSignalling& signalling, platform::MainQueue& mainQueue,
                             std::function<void()> handler);
  ~ShareHandoffSignalObserver();
  ShareHandoffSignalObserver(const ShareHandoffSignalObserver&) = delete;
  ShareHandoffSignalObserver& operator=(const ShareHandoffSignalObserver&) = delete;

  // Whether the signal is being observed (false without a session bus).
  bool isObserving() const { return registration_ != nullptr; }

 private:
  std::shared_ptr<std::function<void()>> handler_;
  std::unique_ptr<ShareHandoffSignalling::Registration> registration_;
};

}  // namespace tavrel
