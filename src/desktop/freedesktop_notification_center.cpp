#include "desktop/freedesktop_notification_center.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <algorithm>

#include "desktop/bundle_identifier.h"

namespace tavrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection)) {
  connection_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                      SLOT(onActionInvoked(uint, QString)));
  connection_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                      SLOT(onNotificationClosed(uint, uint)));
}

FreedesktopNotificationCenter::~FreedesktopNotificationCenter() {
  connection_.disconnect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                         SLOT(onActionInvoked(uint, QString)));
  connection_.disconnect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                         SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotificationCenter::requestAuthorization(Completion completion) {
  const auto call = connection_.asyncCall(
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities")));
  auto* watcher = new QDBusPendingCallWatcher(call, this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<QStringList> reply = *finished;
            if (reply.isError()) {
              completion(reply.error().message().toStdString());
              return;
            }
            readsBodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
            completion(std::nullopt);
          });
}

QString FreedesktopNotificationCenter::bodyText(const std::string& body) const {
  const auto text = QString::fromStdString(body);
  if (readsBodyMarkup_ == false) return text;
  return text.toHtmlEscaped();
}

std::optional<std::uint32_t> FreedesktopNotificationCenter::serverID(const std::string& identifier) const {
  const auto entry = idByIdentifier_.find(identifier);
  if (entry == idByIdentifier_.end()) return std::nullopt;
  return entry->second;
}

void FreedesktopNotificationCenter::add(NotificationRequest request, Completion completion) {
  const auto waiting = inFlight_.find(request.identifier);
  if (waiting != inFlight_.end()) {
    waiting->second.push_back(Pending{std::move(request), std::move(completion)});
    return;
  }
  inFlight_[request.identifier];
  send(std::move(request), std::move(completion));
}

void FreedesktopNotificationCenter::send(NotificationRequest request, Completion completion) {
  const std::uint32_t replaces = serverID(request.identifier).value_or(0);
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromUtf8(bundleIdentifier.data(),
                                                                  static_cast<qsizetype>(bundleIdentifier.size())));
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
  if (!request.playsDefaultSound) hints.insert(QStringLiteral("suppress-sound"), true);

  auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  message << QStringLiteral("Tavrel") << static_cast<uint>(replaces)
          << QString::fromUtf8(bundleIdentifier.data(), static_cast<qsizetype>(bundleIdentifier.size()))
          << QString::fromStdString(request.title) << bodyText(request.body)
          //: The notification's action: opens the transfer (its page, or the popover at a failure).
          << QStringList{QStringLiteral("default"), QCoreApplication::translate("TransferNotifications", "Open")}
          << hints << -1;

  auto* watcher = new QDBusPendingCallWatcher(connection_.asyncCall(message), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, request = std::move(request), completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            const QDBusPendingReply<uint> reply = *finished;
            if (reply.isError()) {
              completion(reply.error().message().toStdString());
            } else {
              delivered(request, reply.value());
              completion(std::nullopt);
            }
            sendNextWaiting(request.identifier);
          });
}

void FreedesktopNotificationCenter::delivered(const NotificationRequest& request, std::uint32_t id) {
  if (const auto previous = serverID(request.identifier); previous && *previous != id) forget(*previous);
  if (!remembered_.contains(id)) rememberedOrder_.push_back(id);
  remembered_[id] = Remembered{request.identifier, request.userInfo};
  idByIdentifier_[request.identifier] = id;
  while (remembered_.size() > maximumRememberedNotifications) forget(rememberedOrder_.front());
}

void FreedesktopNotificationCenter::sendNextWaiting(const std::string& identifier) {
  const auto entry = inFlight_.find(identifier);
  if (entry == inFlight_.end()) return;
  if (entry->second.empty()) {
    inFlight_.erase(entry);
    return;
  }
  auto next = std::move(entry->second.front());
  entry->second.pop_front();
  send(std::move(next.request), std::move(next.completion));
}

void FreedesktopNotificationCenter::forget(std::uint32_t id) {
  const auto entry = remembered_.find(id);
  if (entry == remembered_.end()) return;
  if (const auto byIdentifier = idByIdentifier_.find(entry->second.identifier);
      byIdentifier != idByIdentifier_.end() && byIdentifier->second == id) {
    idByIdentifier_.erase(byIdentifier);
  }
  remembered_.erase(entry);
  rememberedOrder_.erase(std::remove(rememberedOrder_.begin(), rememberedOrder_.end(), id), rememberedOrder_.end());
}

void FreedesktopNotificationCenter::setResponseHandler(ResponseHandler handler) {
  responseHandler_ = std::move(handler);
}

void FreedesktopNotificationCenter::onActionInvoked(uint id, const QString& actionKey) {
  if (actionKey != QStringLiteral("default")) return;
  const auto entry = remembered_.find(id);
  // Not one of ours, or one we no longer remember: nothing to open.
  if (entry == remembered_.end() || !responseHandler_) return;
  const auto userInfo = entry->second.userInfo;
  auto handler = responseHandler_;
  handler(userInfo);
}

void FreedesktopNotificationCenter::onNotificationClosed(uint id, uint) { forget(id); }

}  // namespace tavrel
