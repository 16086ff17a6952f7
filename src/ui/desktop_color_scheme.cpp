// GIO first: its headers cannot follow Qt's (`signals` is a macro there).
#include <gio/gio.h>

#include "ui/color_scheme.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "desktop/reduce_motion.h"

namespace tavrel::ui {
namespace {

std::optional<ColorScheme> gnomeColorScheme() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return std::nullopt;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
  if (!schema) return std::nullopt;
  const bool hasKey = g_settings_schema_has_key(schema, "color-scheme");
  g_settings_schema_unref(schema);
  if (!hasKey) return std::nullopt;
  GSettings* settings = g_settings_new("org.gnome.desktop.interface");
  gchar* value = g_settings_get_string(settings, "color-scheme");
  const std::string scheme = value ? value : "";
  g_free(value);
  g_object_unref(settings);
  if (scheme == "prefer-dark") return ColorScheme::dark;
  if (scheme == "prefer-light") return ColorScheme::light;
  return std::nullopt;
}

std::optional<ColorScheme> kdeColorScheme() {
  const auto path = desktop::kdeGlobalsPath();
  if (path.empty()) return std::nullopt;
  std::ifstream file(path);
  std::string line;
  bool inGeneral = false;
  while (std::getline(file, line)) {
    if (!line.empty() && line.front() == '[') {
      inGeneral = line.rfind("[General]", 0) == 0;
      continue;
    }
    if (inGeneral && line.rfind("ColorScheme=", 0) == 0) {
      return line.find("Dark") != std::string::npos ? ColorScheme::dark : ColorScheme::light;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<ColorScheme> desktopColorScheme() {
  if (auto scheme = gnomeColorScheme()) return scheme;
  return kdeColorScheme();
}

}  // namespace tavrel::ui
