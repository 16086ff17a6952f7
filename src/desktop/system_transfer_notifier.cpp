#include "desktop/system_transfer_notifier.h"

#include <QCoreApplication>
#include <algorithm>

#include "desktop/bundle_identifier.h"

namespace tavrel {

namespace {

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
  return text;
}

}  // namespace

NotificationUserInfo transferNotificationUserInfo(const TransferNotification& notification) {
  NotificationUserInfo userInfo{
      {"tavrel.outcome", std::string(rawValue(notification.outcome))},
      {"tavrel.run-id", notification.runID.toString()},
  };
  if (notification.transferID) userInfo.emplace("tavrel.transfer-id", *notification.transferID);
  return userInfo;
}

NotificationRequest SystemTransferNotifier::makeRequest(const TransferNotification& notification) {
  const bool completed = notification.outcome == TransferNotification::Outcome::completed;
  NotificationRequest request;
  request.identifier =
      "tavrel.transfer." + lowercased(notification.runID.toString()) + "." + std::string(rawValue(notification.outcome));
  request.title = (completed ? QCoreApplication::translate("TransferNotifications", "Transfer completed")
                             : QCoreApplication::translate("TransferNotifications", "Transfer failed"))
                      .toStdString();
  const auto title = QString::fromStdString(notification.title);
  request.body =
      (completed ? QCoreApplication::translate("TransferNotifications", "%1 is ready to share.").arg(title)
                 : QCoreApplication::translate("TransferNotifications",
                                               "%1 couldn’t be uploaded. Open Tavrel to retry.")
                       .arg(title))
          .toStdString();
  request.playsDefaultSound = true;
  request.categoryIdentifier = transferNotificationCategory;
  request.userInfo = transferNotificationUserInfo(notification);
  return request;
}

SystemTransferNotifier::SystemTransferNotifier(std::shared_ptr<UserNotificationCenter> center)
    : center_(std::move(center)),
      logger_(std::string(bundleIdentifier), "TransferNotifications"),
      self_(std::make_shared<SystemTransferNotifier*>(this)) {}

SystemTransferNotifier::~SystemTransferNotifier() {
  *self_ = nullptr;
  center_->setResponseHandler(nullptr);
}

void SystemTransferNotifier::requestAuthorizationIfNeeded() {
  // Asked once per process, whatever the answer.
  if (authorization_ != Authorization::notRequested) return;
  authorization_ = Authorization::pending;
  center_->requestAuthorization([weak = std::weak_ptr(self_)](std::optional<std::string> error) {
    const auto self = weak.lock();
    if (!self || !*self) return;
    auto& notifier = **self;
    if (error) notifier.logger_.error("Notification authorization failed: {}", *error);
    notifier.authorization_ = Authorization::answered;
    auto waiting = std::exchange(notifier.waitingForAuthorization_, {});
    for (auto& request : waiting) notifier.add(std::move(request));
  });
}

void SystemTransferNotifier::notify(const TransferNotification& notification) {
  auto request = makeRequest(notification);
  // The first notification never goes out before the permission question has been answered.
  if (authorization_ == Authorization::pending) {
    waitingForAuthorization_.push_back(std::move(request));
    return;
  }
  add(std::move(request));
}

void SystemTransferNotifier::add(NotificationRequest request) {
  center_->add(std::move(request), [logger = logger_](std::optional<std::string> error) {
    if (error) logger.error("Notification delivery failed: {}", *error);
  });
}

void SystemTransferNotifier::setResponseHandler(std::function<void(const TransferNotificationResponse&)> handler) {
  if (!handler) {
    center_->setResponseHandler(nullptr);
    return;
  }
  center_->setResponseHandler([handler = std::move(handler)](const NotificationUserInfo& userInfo) {
    if (const auto response = transferNotificationResponse(userInfo)) handler(*response);
  });
}

}  // namespace tavrel
