#include "transfer/transfer_notifying.h"

namespace tavrel {

std::optional<TransferNotification::Outcome> transferNotificationOutcomeFromRawValue(std::string_view rawValue) {
  if (rawValue == "completed") return TransferNotification::Outcome::completed;
  if (rawValue == "failed") return TransferNotification::Outcome::failed;
  return std::nullopt;
}

std::string_view rawValue(TransferNotification::Outcome outcome) {
  return outcome == TransferNotification::Outcome::completed ? "completed" : "failed";
}

}  // namespace tavrel
