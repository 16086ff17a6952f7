#pragma once

// Notifications through the desktop's notification server (org.freedesktop.Notifications on the
// session bus).
//
// - Authorization is a probe of the server's capabilities: there is nothing to grant, but it tells
//   whether the server reads markup in bodies, and it fails when there is no server.
// - A request's identifier maps to the server's id of the notification it showed; a later request
//   with the same identifier replaces it (replaces_id). A second request for an identifier whose
//   first is still on its way waits for the first's answer, so it replaces rather than duplicates.
// - Bodies are data: escaped for servers that read markup (and while that is not known yet), so a
//   transfer's title can never add links, images or formatting.
// - The server never returns user info: we keep our own map from the server's id to the request's
//   user info, read back on a click ("default" action), forgotten when the server says the
//   notification closed, and capped so it cannot grow without bound.
//
// IMPORTANT: Threading. Main thread only (the thread of the Qt application object).

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "desktop/user_notification_center.h"

namespace tavrel {

class FreedesktopNotificationCenter final : public QObject, public UserNotificationCenter {
  Q_OBJECT

 public:
  static constexpr std::size_t maximumRememberedNotifications = 32;

  explicit FreedesktopNotificationCenter(QDBusConnection connection = QDBusConnection::sessionBus(),
                                         QObject* parent = nullptr);
  ~FreedesktopNotificationCenter() override;

  void requestAuthorization(Completion completion) override;
  void add(NotificationRequest request, Completion completion) override;
  void setResponseHandler(ResponseHandler handler) override;

  // The body as the server will be given it: escaped unless the server is known not to read markup.
  QString bodyText(const std::string& body) const;
  // The server's id of the notification shown for `identifier`, while it is remembered.
  std::optional<std::uint32_t> serverID(const std::string& identifier) const;
  std::size_t rememberedCount() const { return remembered_.size(); }

 private slots:
  void onActionInvoked(uint id, const QString& actionKey);
  void onNotificationClosed(uint id, uint reason);

 private:
  struct Remembered {
    std::string identifier;
    NotificationUserInfo userInfo;
  };
  struct Pending {
    NotificationRequest request;
    Completion completion;
  };

  void send(NotificationRequest request, Completion completion);
  void delivered(const NotificationRequest& request, std::uint32_t id);
  void sendNextWaiting(const std::string& identifier);
  void forget(std::uint32_t id);

  QDBusConnection connection_;
  std::optional<bool> readsBodyMarkup_;  // unknown until the capabilities came back
  ResponseHandler responseHandler_;
  std::map<std::uint32_t, Remembered> remembered_;
  std::deque<std::uint32_t> rememberedOrder_;  // oldest first
  std::map<std::string, std::uint32_t> idByIdentifier_;
  std::map<std::string, std::deque<Pending>> inFlight_;  // identifier -> requests waiting behind the one sent
};

}  // namespace tavrel
