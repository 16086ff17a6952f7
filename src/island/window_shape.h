#pragma once

#include <QRegion>

class QWindow;

namespace tavrel::window_shape {

// X11 shapes of a top-level window; each call does nothing (and answers false) away from X11.

// Only `region` takes presses; presses elsewhere go to the window beneath. Drawing is not clipped.
bool setInputRegion(QWindow& window, const QRegion& region);
// Gives the keyboard to a window that bypasses the window manager, which would never give it.
bool takeKeyboardFocus(QWindow& window);
// Whether a compositing manager blends translucent windows on the window's screen: without one,
// transparent pixels show black, so drawing has to be clipped to what is opaque.
bool hasCompositor(const QWindow& window);

}  // namespace tavrel::window_shape
