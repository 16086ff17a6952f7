#pragma once

#include <string>

namespace tavrel::ui {

// Speaks a short text to assistive technology (a new screen, a finished upload). Qt 6.4 on Linux
// has no way to post an announcement over AT-SPI, so the program's announcer writes the text to
// the log for now; views go through this port so a real announcer can take its place.
class AccessibilityAnnouncing {
 public:
  virtual ~AccessibilityAnnouncing() = default;
  virtual void announce(const std::string& text) = 0;
};

class LoggingAccessibilityAnnouncer final : public AccessibilityAnnouncing {
 public:
  void announce(const std::string& text) override;
};

}  // namespace tavrel::ui
