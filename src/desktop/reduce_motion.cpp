#include "desktop/reduce_motion.h"

#include <gio/gio.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tavrel::desktop {
namespace {

constexpr auto kGnomeInterfaceSchema = "org.gnome.desktop.interface";
constexpr auto kEnableAnimations = "enable-animations";

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// GSettings aborts the process for a schema it does not know: ask the schema source first.
GSettings* gnomeInterfaceSettings() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return nullptr;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, kGnomeInterfaceSchema, TRUE);
  if (!schema) return nullptr;
  const bool hasKey = g_settings_schema_has_key(schema, kEnableAnimations);
  g_settings_schema_unref(schema);
  return hasKey ? g_settings_new(kGnomeInterfaceSchema) : nullptr;
}

}  // namespace

std::optional<bool> kdeReduceMotion(const std::string& kdeglobals) {
  std::istringstream lines(kdeglobals);
  std::string line;
  bool inKdeGroup = false;
  std::optional<bool> answer;
  while (std::getline(lines, line)) {
    line = trimmed(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inKdeGroup = line == "[KDE]";
      continue;
    }
    if (!inKdeGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos || trimmed(line.substr(0, equals)) != "AnimationDurationFactor") continue;
    const std::string value = trimmed(line.substr(equals + 1));
    char* end = nullptr;
    const double factor = std::strtod(value.c_str(), &end);
    if (end == value.c_str()) continue;
    answer = factor == 0.0;
  }
  return answer;
}

std::filesystem::path kdeGlobalsPath() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return std::filesystem::path(config) / "kdeglobals";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".config" / "kdeglobals";
  return {};
}

ReduceMotionSetting::ReduceMotionSetting() : gnomeInterface_(gnomeInterfaceSettings()) {
  if (gnomeInterface_) {
    g_signal_connect(gnomeInterface_, "changed::enable-animations", G_CALLBACK(&ReduceMotionSetting::onChanged), this);
  }
  refresh();
}

ReduceMotionSetting::~ReduceMotionSetting() {
  if (gnomeInterface_) {
    g_signal_handlers_disconnect_by_data(gnomeInterface_, this);
    g_object_unref(gnomeInterface_);
  }
}

void ReduceMotionSetting::onChanged(_GSettings*, const char*, void* self) {
  static_cast<ReduceMotionSetting*>(self)->refresh();
}

void ReduceMotionSetting::refresh() {
  bool reduce = false;
  if (gnomeInterface_) {
    reduce = !g_settings_get_boolean(gnomeInterface_, kEnableAnimations);
  }
  if (!reduce) {
    if (const auto path = kdeGlobalsPath(); !path.empty()) {
      std::ifstream file(path);
      if (file) {
        std::stringstream text;
        text << file.rdbuf();
        reduce = kdeReduceMotion(text.str()).value_or(false);
      }
    }
  }
  if (reduce != reduceMotion_.value()) reduceMotion_.set(reduce);
}

}  // namespace tavrel::desktop
