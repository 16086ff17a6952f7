#include "desktop/global_hot_key_controller.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <string_view>

#include "platform/logger.h"

namespace tavrel {

namespace {

constexpr std::uint32_t kKeysymM = 0x006d;  // "m"
constexpr std::uint16_t kModifiers = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_4;  // Control+Super
constexpr std::uint16_t kNumLock = XCB_MOD_MASK_2;
constexpr std::uint16_t kIgnoredModifiers = XCB_MOD_MASK_LOCK | kNumLock;

const platform::Logger& logger() {
  static const platform::Logger instance("com.tavrel.macos", "GlobalHotKey");
  return instance;
}

}  // namespace

bool isWaylandSession(const char* waylandDisplay, const char* sessionType) {
  return (waylandDisplay && *waylandDisplay) || (sessionType && std::string_view(sessionType) == "wayland");
}

GlobalHotKeyController::GlobalHotKeyController(platform::MainQueue& mainQueue, std::function<void()> action)
    : mainQueue_(mainQueue), action_(std::move(action)) {}

GlobalHotKeyController::~GlobalHotKeyController() {
  notifier_.reset();
  if (connection_) {
    ungrab();
    xcb_disconnect(connection_);
  }
}

void GlobalHotKeyController::registerHotKey() {
  if (connection_) return;
  if (isWaylandSession(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"))) {
    logger().notice("The session is Wayland, where an X11 grab sees the keys only while an X11 window has the focus");
    logger().error("Tavrel could not install its keyboard shortcut handler: {}", waylandSessionStatus);
    return;
  }
  const char* display = std::getenv("DISPLAY");
  xcb_connection_t* connection = (display && *display) ? xcb_connect(nullptr, nullptr) : nullptr;
  const int connectionError = connection ? xcb_connection_has_error(connection) : XCB_CONN_ERROR;
  const xcb_screen_t* screen =
      connectionError == 0 ? xcb_setup_roots_iterator(xcb_get_setup(connection)).data : nullptr;
  if (connectionError != 0 || !screen) {
    if (connection) xcb_disconnect(connection);
    logger().error("Tavrel could not install its keyboard shortcut handler: {}", connectionError);
    return;
  }
  connection_ = connection;
  rootWindow_ = screen->root;
  notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readEvents(); });

  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
  xcb_keycode_t* codes = symbols ? xcb_key_symbols_get_keycode(symbols, kKeysymM) : nullptr;
  keyCode_ = codes ? codes[0] : 0;
  std::free(codes);
  if (symbols) xcb_key_symbols_free(symbols);
  if (keyCode_ == 0) {
    logger().error("Tavrel could not register ⌃⌘M: {}", static_cast<int>(XCB_MATCH));
    return;
  }

  // Every variant must be ours: a shortcut that fires only while Caps Lock is off would look broken.
  int status = 0;
  for (const std::uint16_t extra : {std::uint16_t{0}, std::uint16_t{XCB_MOD_MASK_LOCK}, kNumLock,
                                    std::uint16_t{XCB_MOD_MASK_LOCK | kNumLock}}) {
    const std::uint16_t modifiers = kModifiers | extra;
    const auto cookie = xcb_grab_key_checked(connection_, 1, rootWindow_, modifiers, keyCode_,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
      status = error->error_code;
      std::free(error);
      break;
    }
    grabbedModifiers_.push_back(modifiers);
  }
  if (status != 0) {
    ungrab();
    logger().error("Tavrel could not register ⌃⌘M: {}", status);
  }
  readEvents();  // anything that arrived while we waited for the replies
}

void GlobalHotKeyController::ungrab() {
  for (const auto modifiers : grabbedModifiers_) xcb_ungrab_key(connection_, keyCode_, rootWindow_, modifiers);
  grabbedModifiers_.clear();
  xcb_flush(connection_);
}

void GlobalHotKeyController::readEvents() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
      const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
      const bool ours = press->detail == keyCode_ && (press->state & ~kIgnoredModifiers & 0xff) == kModifiers;
      if (ours && !grabbedModifiers_.empty()) {
        logger().debug("The keyboard shortcut was pressed");
        // The action keeps itself alive until it has run, even if the controller goes first.
        mainQueue_.post([action = action_] {
          if (action) action();
        });
      }
    }
    std::free(event);
  }
  // A lost display leaves the socket readable for ever: stop watching it instead of spinning.
  if (xcb_connection_has_error(connection_) && notifier_) notifier_->setEnabled(false);
}

}  // namespace tavrel
