#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace tavrel {

// The string keys and values a notification carries back when it is clicked.
using NotificationUserInfo = std::map<std::string, std::string>;

// One notification to show now.
struct NotificationRequest {
  // A later request with the same identifier replaces the earlier notification.
  std::string identifier;
  std::string title;  // plain text
  std::string body;   // plain text: never read as markup
  bool playsDefaultSound = true;
  std::string categoryIdentifier;
  NotificationUserInfo userInfo;

  friend bool operator==(const NotificationRequest&, const NotificationRequest&) = default;
};

// The desktop's notification service.
//
// IMPORTANT: Threading. Main thread only. Completions run once, later, on the main thread, never
// inside the call: with no error, or the error's description.
class UserNotificationCenter {
 public:
  using Completion = std::function<void(std::optional<std::string> errorDescription)>;
  using ResponseHandler = std::function<void(const NotificationUserInfo&)>;

  virtual ~UserNotificationCenter() = default;

  // Asks for whatever the desktop needs before notifications show.
  virtual void requestAuthorization(Completion completion) = 0;
  virtual void add(NotificationRequest request, Completion completion) = 0;
  // Called with the user info of each of our notifications that the user clicks.
  virtual void setResponseHandler(ResponseHandler handler) = 0;
};

}  // namespace tavrel
