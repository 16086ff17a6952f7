#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "transfer/transfer_identities.h"

namespace tavrel {

// The content of one result notification.
struct TransferNotification {
  enum class Outcome { completed, failed };

  Outcome outcome = Outcome::completed;
  UploadRunID runID;
  std::string title;
  std::optional<std::string> transferID;  // the service's transfer id, when known

  friend bool operator==(const TransferNotification&, const TransferNotification&) = default;
};

// "completed" and "failed"; any other text is no outcome.
std::optional<TransferNotification::Outcome> transferNotificationOutcomeFromRawValue(std::string_view rawValue);
std::string_view rawValue(TransferNotification::Outcome outcome);

// Result notifications. Main thread; neither call waits for anything or reports a result.
class TransferNotifying {
 public:
  virtual ~TransferNotifying() = default;
  // Makes sure the user has been asked for permission to post notifications.
  virtual void requestAuthorizationIfNeeded() = 0;
  virtual void notify(const TransferNotification& notification) = 0;
};

class NoopTransferNotifier final : public TransferNotifying {
 public:
  void requestAuthorizationIfNeeded() override {}
  void notify(const TransferNotification&) override {}
};

}  // namespace tavrel
