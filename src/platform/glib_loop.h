#pragma once

#include <glib.h>

namespace tavrel::platform {

// Ends `loop`, run on a thread of its own with `context`, from inside the loop: a quit that comes
// before the loop runs is then not lost.
inline void quitFromInside(GMainContext* context, GMainLoop* loop) {
  g_main_context_invoke(
      context,
      [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
      },
      loop);
}

}  // namespace tavrel::platform
