#include "island/window_shape.h"

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace tavrel::window_shape {
namespace {

xcb_connection_t* connectionOf() {
  const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

// The screen number of the display, as in ":0.1".
int screenNumber() {
  const char* display = std::getenv("DISPLAY");
  if (!display) return 0;
  const std::string name(display);
  const auto colon = name.rfind(':');
  const auto dot = name.find('.', colon == std::string::npos ? 0 : colon);
  return dot == std::string::npos ? 0 : std::atoi(name.c_str() + dot + 1);
}

}  // namespace

bool setInputRegion(QWindow& window, const QRegion& region) {
  xcb_connection_t* connection = connectionOf();
  if (!connection) return false;
  const auto id = static_cast<xcb_window_t>(window.winId());
  std::vector<xcb_rectangle_t> rectangles;
  for (const QRect& rect : region) {
    rectangles.push_back({static_cast<int16_t>(rect.x()), static_cast<int16_t>(rect.y()),
                          static_cast<uint16_t>(rect.width()), static_cast<uint16_t>(rect.height())});
  }
  // An empty list is a shape that takes nothing, unlike an empty mask, which takes everything.
  xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                       static_cast<uint32_t>(rectangles.size()), rectangles.data());
  xcb_flush(connection);
  return true;
}

bool takeKeyboardFocus(QWindow& window) {
  xcb_connection_t* connection = connectionOf();
  if (!connection) return false;
  xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, static_cast<xcb_window_t>(window.winId()),
                      XCB_CURRENT_TIME);
  xcb_flush(connection);
  return true;
}

bool hasCompositor(const QWindow&) {
  xcb_connection_t* connection = connectionOf();
  if (!connection) return false;
  const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber());
  const auto atomCookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.c_str());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(xcb_intern_atom_reply(connection, atomCookie, nullptr),
                                                                      &std::free);
  if (!atom) return false;
  std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr), &std::free);
  return owner && owner->owner != XCB_NONE;
}

}  // namespace tavrel::window_shape
