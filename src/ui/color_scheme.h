#pragma once

#include <optional>

namespace tavrel::ui {

enum class ColorScheme { light, dark };

// The desktop's colour scheme where it says one: GNOME's `color-scheme` setting
// ("prefer-dark"/"prefer-light"), else KDE's colour scheme name in kdeglobals. Qt 6.4 has no API
// for it. None when the desktop does not say; callers then keep their own default.
std::optional<ColorScheme> desktopColorScheme();

}  // namespace tavrel::ui
