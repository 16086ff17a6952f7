#pragma once

// The user's defaults: one JSON object in $XDG_CONFIG_HOME/tavrel/defaults.json (else
// ~/.config/tavrel/defaults.json), readable by the user only.
//
// A file that is missing, unreadable or not a JSON object reads as empty and is left alone until a
// value is set. Every set rewrites the whole file atomically (a temporary file beside it, flushed to
// disk, then renamed over it), so a crash leaves either the old or the new file, never half of one.
//
// IMPORTANT: Thread-safety. Main thread only.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tavrel {

class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path path);

  static std::filesystem::path standardPath();

  // The stored value under `key`, of whatever type it was stored as.
  std::optional<nlohmann::json> value(std::string_view key) const;
  // Stores `value` under `key` and writes the file; false when the file could not be written (the
  // value is still kept in memory).
  bool set(std::string_view key, nlohmann::json value);

  const std::filesystem::path& path() const { return path_; }

 private:
  bool write() const;

  std::filesystem::path path_;
  nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace tavrel
