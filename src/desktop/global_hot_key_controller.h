#pragma once

// The program's one system-wide shortcut, Control+Super+M, which opens the transfer popover.
//
// On X11 the controller opens its own connection to the display and grabs the key on the root
// window, with and without Caps Lock and Num Lock, so the shortcut fires whatever their state. The
// connection's socket is watched from the Qt event loop; each press posts the action to the main
// queue, so it runs on a later turn, never inside the event dispatch. A key that another program
// already grabbed is a failed registration. Without an X11 display there is no shortcut, and none in
// a Wayland session either: XWayland accepts the grab, but it fires only while one of its own
// windows has the focus, so a shortcut that seemed to work would mostly not.
//
// Failures are written to the log and otherwise ignored:
//   "Tavrel could not install its keyboard shortcut handler: <status>"   (no display: the X
//                                                                        connection's error; -1 in
//                                                                        a Wayland session)
//   "Tavrel could not register ⌃⌘M: <status>"                           (the grab was refused)
//
// IMPORTANT: Threading. Main thread only (the thread of the Qt application object).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/main_queue.h"

class QSocketNotifier;
struct xcb_connection_t;

namespace tavrel {

// Whether the program runs in a Wayland session: WAYLAND_DISPLAY is set, or the session says so in
// XDG_SESSION_TYPE (a program the session starts may lack WAYLAND_DISPLAY). Null is unset.
bool isWaylandSession(const char* waylandDisplay, const char* sessionType);

class GlobalHotKeyController {
 public:
  // What the log line carries when the session is a Wayland one.
  static constexpr int waylandSessionStatus = -1;

  GlobalHotKeyController(platform::MainQueue& mainQueue, std::function<void()> action);
  // Releases the grab and the connection, whichever of them was made.
  ~GlobalHotKeyController();
  GlobalHotKeyController(const GlobalHotKeyController&) = delete;
  GlobalHotKeyController& operator=(const GlobalHotKeyController&) = delete;

  // Connects to the display, then grabs the key. Call once.
  void registerHotKey();

  bool isHandlerInstalled() const { return connection_ != nullptr; }
  bool isHotKeyRegistered() const { return !grabbedModifiers_.empty(); }

 private:
  void readEvents();
  void ungrab();

  platform::MainQueue& mainQueue_;
  std::function<void()> action_;
  xcb_connection_t* connection_ = nullptr;
  std::uint32_t rootWindow_ = 0;
  std::uint8_t keyCode_ = 0;
  std::vector<std::uint16_t> grabbedModifiers_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tavrel
