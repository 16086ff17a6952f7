#include "ui/accessibility_announcing.h"

#include "platform/logger.h"

namespace tavrel::ui {

void LoggingAccessibilityAnnouncer::announce(const std::string& text) {
  static const platform::Logger logger("com.tavrel.macos", "Accessibility");
  // Announcements may name the user's files: private, like every string argument.
  logger.info("Announcement: {}", text);
}

}  // namespace tavrel::ui
