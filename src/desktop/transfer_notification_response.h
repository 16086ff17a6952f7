#pragma once

#include <optional>
#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include "desktop/user_notification_center.h"
#include "transfer/transfer_identities.h"

namespace tavrel {

namespace transfer_notification_response {
// The user clicked a completed-transfer notification.
struct Completed {
  UploadRunID runID;
  std::optional<std::string> transferID;  // the service's transfer identity, when it was known
  friend bool operator==(const Completed&, const Completed&) = default;
};
// The user clicked a failed-transfer notification.
struct Failed {
  UploadRunID runID;
  friend bool operator==(const Failed&, const Failed&) = default;
};
}  // namespace transfer_notification_response

using TransferNotificationResponse =
    std::variant<transfer_notification_response::Completed, transfer_notification_response::Failed>;

// Reads back the user info of one of our notifications: "tavrel.outcome" ("completed" or
// "failed"), "tavrel.run-id" (a UUID in either case) and, for a completed one, "tavrel.transfer-id"
// when present. Anything else (a missing key, a value that is not a string, an unknown outcome, a
// run identity that is not a UUID) is no response: the click is not ours to handle.
std::optional<TransferNotificationResponse> transferNotificationResponse(const nlohmann::json& userInfo);
std::optional<TransferNotificationResponse> transferNotificationResponse(const NotificationUserInfo& userInfo);

}  // namespace tavrel
