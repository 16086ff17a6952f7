#pragma once

#include <functional>
#include <memory>

#include "platform/observable.h"
#include "platform/url.h"
#include "transfer/transfer_identities.h"

namespace tavrel {

// What the coordinator needs of the windows and of the desktop session, so that it can be built
// and tested without a display. The program's implementations live beside its entry.

// Whether the program shows in the taskbar and the application switcher (regular), or only as its
// tray icon (accessory).
enum class ActivationPolicy { regular, accessory };

// The menu bar: the tray icon with its popover.
class MenuBarControlling {
 public:
  virtual ~MenuBarControlling() = default;
  virtual void showPopover(bool activating) = 0;
  // Shows the popover at the recoverable failure of that run and answers true; false when the
  // transfer store no longer holds it.
  virtual bool revealFailure(const UploadRunID& runID) = 0;
  // Removes the tray icon and closes the popover; effective once.
  virtual void invalidate() = 0;
  // Whether a tray shows the icon: without one, nothing on screen says the program runs.
  virtual bool isStatusItemShown() const = 0;
};

// The onboarding window.
class OnboardingWindowControlling {
 public:
  virtual ~OnboardingWindowControlling() = default;
  // Centres the window on the screen under the pointer when it is not visible, then raises it.
  virtual void show() = 0;
  virtual bool isWindowVisible() const = 0;
  virtual void orderOut() = 0;
  // Called instead of closing when the user asks the window to close.
  virtual void setOnUserClose(std::function<void()> onUserClose) = 0;
};

// The desktop session as the program sees it.
class ApplicationShell {
 public:
  virtual ~ApplicationShell() = default;
  virtual ActivationPolicy activationPolicy() const = 0;
  virtual void setActivationPolicy(ActivationPolicy policy) = 0;
  // Ends the program once the current main-thread task returns.
  virtual void terminate() = 0;
  // Opens an address in the user's browser; the outcome is not looked at.
  virtual void open(const platform::Url& url) = 0;
  // Calls `observer` every time the program becomes active (one of its windows takes the focus, or
  // the program is started a second time).
  [[nodiscard]] virtual platform::Subscription observeDidBecomeActive(std::function<void()> observer) = 0;
};

}  // namespace tavrel
