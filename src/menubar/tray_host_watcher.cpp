#include "menubar/tray_host_watcher.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tavrel {
namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString watcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int watcherTimeoutMs = 1000;

xcb_connection_t* x11Connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

std::uint32_t internAtom(xcb_connection_t* connection, const char* name) {
  const auto cookie = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : std::uint32_t{XCB_ATOM_NONE};
}

// Adds the structure events of `window` to those our connection (Qt's) already asked for there.
void listenToStructure(xcb_connection_t* connection, xcb_window_t window) {
  std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
      xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr), &std::free);
  if (!attributes) return;
  const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection);
}

void listenToRootStructure(xcb_connection_t* connection) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (screen) listenToStructure(connection, screen->root);
}

}  // namespace

TrayHostWatcher::TrayHostWatcher(QObject* parent) : QObject(parent) {
  auto bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    serviceWatcher_ = new QDBusServiceWatcher(
        watcherService, bus, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(serviceWatcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] { announce(); });
    connect(serviceWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] { announceGone(); });
    // The watcher's name may come a moment before its host registers.
    bus.connect(QString(), watcherPath, watcherInterface, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(statusNotifierHostRegistered()));
    // Plasma's watcher outlives the panel that hosts the items, and says when the host goes.
    bus.connect(QString(), watcherPath, watcherInterface, QStringLiteral("StatusNotifierHostUnregistered"), this,
                SLOT(statusNotifierHostUnregistered()));
  }
  if (auto* connection = x11Connection()) {
    managerAtom_ = internAtom(connection, "MANAGER");
    selectionAtom_ = internAtom(connection, "_NET_SYSTEM_TRAY_S0");
    // A new X11 tray announces itself with a MANAGER message to the root window's structure
    // listeners: become one, keeping the events Qt already asked for there.
    listenToRootStructure(connection);
    QCoreApplication::instance()->installNativeEventFilter(this);
    if (selectionAtom_ != XCB_ATOM_NONE) {
      std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
          xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selectionAtom_), nullptr),
          &std::free);
      if (reply && reply->owner != XCB_NONE) watchXEmbedTray(reply->owner);
    }
  }
}

TrayHostWatcher::~TrayHostWatcher() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool TrayHostWatcher::isHostPresent() const { return isStatusNotifierHostPresent() || isXEmbedTrayPresent(); }

bool TrayHostWatcher::isStatusNotifierHostPresent() const {
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcherService)) return false;
  auto call = QDBusMessage::createMethodCall(watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                             QStringLiteral("Get"));
  call << watcherInterface << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage reply = bus.call(call, QDBus::Block, watcherTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
  return reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
}

bool TrayHostWatcher::isXEmbedTrayPresent() const {
  auto* connection = x11Connection();
  if (!connection || selectionAtom_ == XCB_ATOM_NONE) return false;
  std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selectionAtom_), nullptr), &std::free);
  return reply && reply->owner != XCB_NONE;
}

bool TrayHostWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t" || managerAtom_ == XCB_ATOM_NONE) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  const auto type = event->response_type & 0x7f;
  if (type == XCB_DESTROY_NOTIFY) {
    const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
    if (trayOwner_ != 0 && destroyed->window == trayOwner_) {
      trayOwner_ = 0;
      announceGone();
    }
    return false;
  }
  if (type != XCB_CLIENT_MESSAGE) return false;
  const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
  if (client->type == managerAtom_ && client->format == 32 && client->data.data32[1] == selectionAtom_) {
    watchXEmbedTray(client->data.data32[2]);
    announce();
  }
  return false;  // Qt's own tray code wants the message too
}

void TrayHostWatcher::watchXEmbedTray(std::uint32_t owner) {
  auto* connection = x11Connection();
  if (!connection || owner == XCB_NONE) return;
  trayOwner_ = owner;
  listenToStructure(connection, owner);
}

void TrayHostWatcher::statusNotifierHostRegistered() { announce(); }

void TrayHostWatcher::statusNotifierHostUnregistered() { announceGone(); }

void TrayHostWatcher::announceGone() {
  if (announcingGone_) return;
  announcingGone_ = true;
  QTimer::singleShot(0, this, [this] {
    announcingGone_ = false;
    emit hostGone();
  });
}

void TrayHostWatcher::announce() {
  // Several announcements of one host (its name, its host registering, its X11 tray) make one.
  if (announcing_) return;
  announcing_ = true;
  QTimer::singleShot(0, this, [this] {
    announcing_ = false;
    emit hostAppeared();
  });
}

}  // namespace tavrel
