#pragma once

// The user's defaults: one JSON object in $XDG_CONFIG_HOME/tavrel/defaults.json (else
// ~/.config/tavrel/defaults.json), readable by the user only.
//
// A file that is missing, unreadable or not a JSON object reads as empty and is left alone until a
// value is set. So does anything that is not what we write: a folder, a FIFO or a device in its
// place (or a link to one), more than maximumFileSize bytes, or values nested deeper than
// maximumDepth (copying or printing such a value would overflow the stack). Every set rewrites the
// whole file atomically (a temporary file beside it, flushed to disk, then renamed over it), so a
// crash leaves either the old or the new file, never half of one. A link to a file, as dotfile
// managers make, is read through and kept: a set replaces the file at the end of the link, in that
// file's own folder, with that file's own permissions and, where the user may give it, its group
// (a group it cannot keep is logged). A set that cannot be written (a read-only
// folder, a full disk) keeps its value for the run and logs why, once for each file and reason.
//
// IMPORTANT: Thread-safety. Main thread only.

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace tavrel {

class UserDefaults {
 public:
  explicit UserDefaults(std::filesystem::path path);

  static constexpr std::size_t maximumFileSize = 1024 * 1024;
  static constexpr std::size_t maximumDepth = 32;

  static std::filesystem::path standardPath();

  // The values of a file's content: its top-level object, or an empty object for anything else.
  static nlohmann::json parse(std::string_view content);
  // The text a write stores: indented, or compact when indenting would pass maximumFileSize; none
  // when even that is too large.
  static std::optional<std::string> render(const nlohmann::json& values);

  // The stored value under `key`, of whatever type it was stored as.
  std::optional<nlohmann::json> value(std::string_view key) const;
  // Stores `value` under `key` and writes the file; false when the file could not be written (the
  // value is still kept in memory).
  bool set(std::string_view key, nlohmann::json value);

  const std::filesystem::path& path() const { return path_; }

 private:
  struct WriteFailure {
    std::filesystem::path file;
    std::string reason;  // for the log
  };
  std::optional<WriteFailure> write();

  std::filesystem::path path_;
  nlohmann::json values_ = nlohmann::json::object();
  std::set<std::string, std::less<>> keysSet_;  // what this run stored, kept when the rest cannot be
  std::set<std::pair<std::string, std::string>> warned_;  // the failures logged: file and reason
};

}  // namespace tavrel
