#include "platform/gio_network_monitor.h"

#include <gio/gio.h>

#include <future>
#include <mutex>

#include "platform/glib_loop.h"

namespace tavrel::platform {

struct GioNetworkMonitor::Native {
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;

  Native() : context(g_main_context_new()), loop(g_main_loop_new(context, FALSE)) {}
  ~Native() {
    g_main_loop_unref(loop);
    g_main_context_unref(context);
  }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
};

GioNetworkMonitor::GioNetworkMonitor() : native_(std::make_unique<Native>()) {
  std::promise<void> watching;
  thread_ = std::thread([this, &watching] {
    g_main_context_push_thread_default(native_->context);
    // Made here, the monitor delivers its signal to this thread's context.
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    const gulong connection = g_signal_connect(
        monitor, "network-changed", G_CALLBACK(+[](GNetworkMonitor*, gboolean, gpointer self) {
          static_cast<GioNetworkMonitor*>(self)->reportChange();
        }),
        this);
    watching.set_value();
    g_main_loop_run(native_->loop);
    g_signal_handler_disconnect(monitor, connection);
    g_main_context_pop_thread_default(native_->context);
  });
  watching.get_future().wait();
}

GioNetworkMonitor::~GioNetworkMonitor() {
  quitFromInside(native_->context, native_->loop);
  thread_.join();
}

std::shared_ptr<NetworkMonitor> GioNetworkMonitor::shared() {
  static std::once_flag once;
  static std::shared_ptr<NetworkMonitor> monitor;
  std::call_once(once, [] { monitor.reset(new GioNetworkMonitor()); });
  return monitor;
}

}  // namespace tavrel::platform
