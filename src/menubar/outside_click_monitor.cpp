#include "menubar/outside_click_monitor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSocketNotifier>
#include <cstdlib>
#include <QTimer>
#include <QWindow>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace tavrel {

namespace {

// Asks the X server, since a press in another program never reaches our own button state.
bool pointerButtonsDownOnX11() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return false;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen) return false;
  xcb_query_pointer_reply_t* reply =
      xcb_query_pointer_reply(connection, xcb_query_pointer(connection, screen->root), nullptr);
  if (!reply) return false;
  const bool down = (reply->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3)) != 0;
  std::free(reply);
  return down;
}

// Raw button presses from the X input extension reach every client that selects them on the root
// window, whichever window they go to. A connection of its own keeps them out of Qt's event handling.
class RawPressWatch final {
 public:
  explicit RawPressWatch(std::function<void()> onPress) : onPress_(std::move(onPress)) {}
  ~RawPressWatch() {
    notifier_.reset();
    if (connection_) xcb_disconnect(connection_);
  }

  bool open() {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) return false;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_input_id);
    if (!extension || !extension->present) return false;
    xcb_input_xi_query_version_reply_t* version =
        xcb_input_xi_query_version_reply(connection_, xcb_input_xi_query_version(connection_, 2, 2), nullptr);
    const bool recent = version && (version->major_version > 2 || version->minor_version >= 1);
    std::free(version);
    if (!recent) return false;  // before 2.1 raw events stop during another client's grab
    opcode_ = extension->major_opcode;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    if (!screen) return false;
    struct {
      xcb_input_event_mask_t head;
      uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    xcb_generic_error_t* error =
        xcb_request_check(connection_, xcb_input_xi_select_events_checked(connection_, screen->root, 1, &selection.head));
    if (error) {
      std::free(error);
      return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { read(); });
    return true;
  }

 private:
  void read() {
    bool pressed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
        const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
        // Buttons 4 to 7 are the wheel's: only the left and right buttons count as clicks.
        if (raw->extension == opcode_ && raw->event_type == XCB_INPUT_RAW_BUTTON_PRESS &&
            (raw->detail == 1 || raw->detail == 3)) {
          pressed = true;
        }
      }
      std::free(event);
    }
    if (pressed) onPress_();
  }

  std::function<void()> onPress_;
  xcb_connection_t* connection_ = nullptr;
  uint8_t opcode_ = 0;
  std::unique_ptr<QSocketNotifier> notifier_;
};

std::shared_ptr<void> watchRawPressesOnX11(std::function<void()> onPress) {
  if (!qGuiApp || !qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) return {};
  auto watch = std::make_shared<RawPressWatch>(std::move(onPress));
  if (!watch->open()) return {};
  return watch;
}

}  // namespace

OutsideClickMonitor::OutsideClickMonitor(QObject* parent)
    : OutsideClickMonitor(pointerButtonsDownOnX11, 50, watchRawPressesOnX11, parent) {}

OutsideClickMonitor::OutsideClickMonitor(ButtonsDown buttonsDown, int releasePollMilliseconds, PressWatch pressWatch,
                                         QObject* parent)
    : QObject(parent),
      buttonsDown_(std::move(buttonsDown)),
      releasePollMilliseconds_(releasePollMilliseconds),
      pressWatch_(std::move(pressWatch)) {}

OutsideClickMonitor::~OutsideClickMonitor() { stop(); }

void OutsideClickMonitor::start(std::function<bool(QPoint)> isInside, std::function<void()> onOutsideClick) {
  // The owner re-arms on every change of what it shows (an upload's progress): a re-arm only takes
  // the new callbacks, so a wait for a release under way still ends in a close.
  isInside_ = std::move(isInside);
  onOutsideClick_ = std::move(onOutsideClick);
  if (armed_) return;
  armed_ = true;
  ++arming_;
  qApp->installEventFilter(this);
  stateConnection_ = connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                             &OutsideClickMonitor::applicationStateChanged);
  const bool active = qGuiApp->applicationState() == Qt::ApplicationActive;
  const QWindow* focus = qGuiApp->focusWindow();
  awaitingFocus_ = active && (!focus || !focus->isVisible());
  focusConnection_ = connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
    if (window && window->isVisible()) awaitingFocus_ = false;
  });
  if (pressWatch_ && (!active || awaitingFocus_)) {
    // On a later turn: closing ends the watch, which must not happen inside its own delivery.
    QPointer<OutsideClickMonitor> self(this);
    const quint64 arming = arming_;
    watching_ = pressWatch_([self, arming] {
      QTimer::singleShot(0, self, [self, arming] {
        if (self && self->arming_ == arming) self->pressedAnywhere();
      });
    });
  }
}

void OutsideClickMonitor::stop() {
  if (!armed_) return;
  armed_ = false;
  ++arming_;
  qApp->removeEventFilter(this);
  disconnect(stateConnection_);
  disconnect(focusConnection_);
  awaitingFocus_ = false;
  watching_.reset();
  isInside_ = nullptr;
  onOutsideClick_ = nullptr;
}

void OutsideClickMonitor::pressedAnywhere() {
  // With the focus ours, the focus change and our own windows' presses tell of it; a press on the
  // owner's window is its own.
  if (!armed_ || qGuiApp->applicationState() == Qt::ApplicationActive) return;
  if (isInside_ && isInside_(QCursor::pos())) return;
  closeAfterRelease(arming_);
}

void OutsideClickMonitor::applicationStateChanged(Qt::ApplicationState state) {
  if (state == Qt::ApplicationActive || !armed_ || awaitingFocus_) return;
  // Another program took the focus: close on a later turn, never inside the focus change.
  const quint64 arming = arming_;
  QTimer::singleShot(0, this, [this, arming] { closeAfterRelease(arming); });
}

void OutsideClickMonitor::closeAfterRelease(quint64 arming) {
  if (!armed_ || arming != arming_) return;
  if (buttonsDown_ && buttonsDown_()) {
    QTimer::singleShot(releasePollMilliseconds_, this, [this, arming] { closeAfterRelease(arming); });
    return;
  }
  if (auto close = onOutsideClick_) close();
}

bool OutsideClickMonitor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress || !armed_ || !qobject_cast<QWindow*>(watched)) return false;
  const auto* press = static_cast<QMouseEvent*>(event);
  if (press->button() != Qt::LeftButton && press->button() != Qt::RightButton) return false;
  if (isInside_ && isInside_(press->globalPosition().toPoint())) return false;
  if (auto close = onOutsideClick_) close();
  return false;
}

}  // namespace tavrel
