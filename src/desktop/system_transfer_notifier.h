#pragma once

// Result notifications of finished uploads on the desktop's notification service.
//
// The permission request happens at most once per process, whatever its outcome. Every
// notification asked for after it waits until it has been answered, in order; notifications asked
// for before any permission request go out at once. Failures are logged, never reported.
//
// IMPORTANT: Threading. Main thread only. The center's answers that arrive after the notifier is
// gone are dropped.

#include <functional>
#include <memory>
#include <vector>

#include "desktop/transfer_notification_response.h"
#include "desktop/user_notification_center.h"
#include "platform/logger.h"
#include "transfer/transfer_notifying.h"

namespace tavrel {

inline constexpr const char* transferNotificationCategory = "tavrel.transfer.result";

// "tavrel.outcome", "tavrel.run-id" (upper-case UUID) and, when known, "tavrel.transfer-id".
NotificationUserInfo transferNotificationUserInfo(const TransferNotification& notification);

class SystemTransferNotifier final : public TransferNotifying {
 public:
  explicit SystemTransferNotifier(std::shared_ptr<UserNotificationCenter> center);
  ~SystemTransferNotifier() override;
  SystemTransferNotifier(const SystemTransferNotifier&) = delete;
  SystemTransferNotifier& operator=(const SystemTransferNotifier&) = delete;

  void requestAuthorizationIfNeeded() override;
  void notify(const TransferNotification& notification) override;

  // Called with each click on one of our notifications that reads back as a response.
  void setResponseHandler(std::function<void(const TransferNotificationResponse&)> handler);

  // Title "Transfer completed" or "Transfer failed", the body after the transfer's title, the
  // identifier "tavrel.transfer.<lower-case run id>.<outcome>", so a second result of the same run
  // and outcome replaces the first.
  static NotificationRequest makeRequest(const TransferNotification& notification);

 private:
  enum class Authorization { notRequested, pending, answered };

  void add(NotificationRequest request);

  std::shared_ptr<UserNotificationCenter> center_;
  platform::Logger logger_;
  Authorization authorization_ = Authorization::notRequested;
  std::vector<NotificationRequest> waitingForAuthorization_;
  std::shared_ptr<SystemTransferNotifier*> self_;  // cleared on destruction; late answers check it
};

}  // namespace tavrel
