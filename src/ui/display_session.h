#pragma once

namespace tavrel::ui {

// Whether the process has somewhere to show windows: DISPLAY or WAYLAND_DISPLAY is set, or, when
// `platformChoiceCounts`, QT_QPA_PLATFORM names a Qt platform (offscreen needs no display).
bool hasDisplaySession(bool platformChoiceCounts);

// While it lives, a display that is named but cannot be opened ends the process with status 1 and
// `explanation` on standard error after Qt's own words, instead of Qt's abort. Make it just before
// the application object and let it go right after: later fatal errors keep their abort.
class DisplayFailureGuard {
 public:
  explicit DisplayFailureGuard(const char* explanation);
  ~DisplayFailureGuard();
  DisplayFailureGuard(const DisplayFailureGuard&) = delete;
  DisplayFailureGuard& operator=(const DisplayFailureGuard&) = delete;
};

}  // namespace tavrel::ui
