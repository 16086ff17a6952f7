#include "desktop/transfer_notification_response.h"

#include "transfer/transfer_notifying.h"

namespace tavrel {

std::optional<TransferNotificationResponse> transferNotificationResponse(const nlohmann::json& userInfo) {
  if (!userInfo.is_object()) return std::nullopt;
  const auto outcomeEntry = userInfo.find("tavrel.outcome");
  if (outcomeEntry == userInfo.end() || !outcomeEntry->is_string()) return std::nullopt;
  const auto outcome = transferNotificationOutcomeFromRawValue(outcomeEntry->get_ref<const std::string&>());
  if (!outcome) return std::nullopt;

  const auto runEntry = userInfo.find("tavrel.run-id");
  if (runEntry == userInfo.end() || !runEntry->is_string()) return std::nullopt;
  const auto runID = UploadRunID::parse(runEntry->get_ref<const std::string&>());
  if (!runID) return std::nullopt;

  if (*outcome == TransferNotification::Outcome::failed) return transfer_notification_response::Failed{*runID};
  const auto transferEntry = userInfo.find("tavrel.transfer-id");
  if (transferEntry == userInfo.end()) return transfer_notification_response::Completed{*runID, std::nullopt};
  if (!transferEntry->is_string()) return std::nullopt;
  return transfer_notification_response::Completed{*runID, transferEntry->get<std::string>()};
}

std::optional<TransferNotificationResponse> transferNotificationResponse(const NotificationUserInfo& userInfo) {
  nlohmann::json object = nlohmann::json::object();
  for (const auto& [key, value] : userInfo) object[key] = value;
  return transferNotificationResponse(object);
}

}  // namespace tavrel
