#include "platform/session_bus_signal.h"

#include <gio/gio.h>

#include "platform/glib_loop.h"

namespace tavrel::platform {
namespace {

constexpr const char* signalPath = "/com/tavrel/Signal";
constexpr const char* signalInterface = "com.tavrel.Signal";
constexpr const char* signalMember = "Posted";

std::string takeMessage(GError* error) {
  std::string message = error ? error->message : "unknown error";
  if (error) g_error_free(error);
  return message;
}

// A private connection to the session bus, or the reason there is none.
Expected<GDBusConnection*, std::string> connectToSessionBus() {
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!address) return unexpected(takeMessage(error));
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  g_free(address);
  if (!connection) return unexpected(takeMessage(error));
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  return connection;
}

void closeConnection(GDBusConnection* connection) {
  g_dbus_connection_close_sync(connection, nullptr, nullptr);
  g_object_unref(connection);
}

}  // namespace

struct SessionBusSignal::Native {
  std::function<void()> handler;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  GDBusConnection* connection = nullptr;
  guint subscription = 0;

  ~Native() {
    if (connection) {
      if (subscription != 0) g_dbus_connection_signal_unsubscribe(connection, subscription);
      closeConnection(connection);
    }
    if (loop) g_main_loop_unref(loop);
    if (context) g_main_context_unref(context);
  }

  static void received(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                       gpointer data) {
    static_cast<Native*>(data)->handler();
  }
};

SessionBusSignal::SessionBusSignal(std::unique_ptr<Native> native) : native_(std::move(native)) {
  thread_ = std::thread([native = native_.get()] {
    g_main_context_push_thread_default(native->context);
    g_main_loop_run(native->loop);
    g_main_context_pop_thread_default(native->context);
  });
}

SessionBusSignal::~SessionBusSignal() {
  quitFromInside(native_->context, native_->loop);
  thread_.join();
}

Expected<std::unique_ptr<SessionBusSignal>, std::string> SessionBusSignal::observe(std::string name,
                                                                                  std::function<void()> handler) {
  auto native = std::make_unique<Native>();
  native->handler = std::move(handler);
  native->context = g_main_context_new();
  native->loop = g_main_loop_new(native->context, FALSE);
  auto connection = connectToSessionBus();
  if (!connection) return unexpected(connection.error());
  native->connection = *connection;
  // Signals are dispatched to the context that is the thread's default while subscribing.
  g_main_context_push_thread_default(native->context);
  native->subscription = g_dbus_connection_signal_subscribe(native->connection, nullptr, signalInterface,
                                                            signalMember, signalPath, name.c_str(),
                                                            G_DBUS_SIGNAL_FLAGS_NONE, &Native::received,
                                                            native.get(), nullptr);
  g_main_context_pop_thread_default(native->context);
  // The bus handles one connection's messages in order: once this answer is back, the match rule
  // sent by the subscription is in place.
  GError* error = nullptr;
  GVariant* answer = g_dbus_connection_call_sync(native->connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                 "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                                 G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  if (!answer) return unexpected(takeMessage(error));
  g_variant_unref(answer);
  return std::unique_ptr<SessionBusSignal>(new SessionBusSignal(std::move(native)));
}

Expected<Unit, std::string> SessionBusSignal::post(std::string_view name) {
  auto connection = connectToSessionBus();
  if (!connection) return unexpected(connection.error());
  GError* error = nullptr;
  const std::string text(name);
  bool sent = g_dbus_connection_emit_signal(*connection, nullptr, signalPath, signalInterface, signalMember,
                                            g_variant_new("(s)", text.c_str()), &error);
  if (sent) sent = g_dbus_connection_flush_sync(*connection, nullptr, &error);
  closeConnection(*connection);
  if (!sent) return unexpected(takeMessage(error));
  return Unit{};
}

}  // namespace tavrel::platform
