#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/observable.h"

// GIO stays out of this header: its headers cannot follow Qt's (`signals` is a macro there).
struct _GSettings;

namespace tavrel::desktop {

// The desktop's "reduce motion" accessibility choice, read live. GNOME keeps it as
// org.gnome.desktop.interface enable-animations (false = reduce); KDE as AnimationDurationFactor=0
// in the [KDE] group of kdeglobals. Qt 6.4 has no setting of its own for it. Where neither desktop
// says, animations stay on.
//
// Main thread only: GSettings' change signal arrives through the thread-default GLib main context,
// which Qt's event loop dispatches on Linux.
class ReduceMotionSetting {
 public:
  ReduceMotionSetting();
  ~ReduceMotionSetting();
  ReduceMotionSetting(const ReduceMotionSetting&) = delete;
  ReduceMotionSetting& operator=(const ReduceMotionSetting&) = delete;

  // True while the desktop asks for reduced motion.
  const platform::Observable<bool>& reduceMotion() const { return reduceMotion_; }

  // Reads the setting again (KDE's file has no change signal of its own we listen to).
  void refresh();

 private:
  static void onChanged(_GSettings*, const char*, void* self);

  _GSettings* gnomeInterface_ = nullptr;
  platform::Observable<bool> reduceMotion_{false};
};

// KDE's answer from the text of a kdeglobals file: whether [KDE] AnimationDurationFactor is 0.
// None when the file does not set it.
std::optional<bool> kdeReduceMotion(const std::string& kdeglobals);

// The kdeglobals file of this user ($XDG_CONFIG_HOME or ~/.config).
std::filesystem::path kdeGlobalsPath();

}  // namespace tavrel::desktop
