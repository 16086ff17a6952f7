#include "app/user_defaults.h"

#include "platform/file_replacement.h"
#include "platform/json.h"
#include "platform/logger.h"
#include "platform/posix_files.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tavrel {

namespace {

const platform::Logger& logger() {
  static const platform::Logger instance{"com.tavrel.macos", "UserDefaults"};
  return instance;
}

// Why a write failed, for the log.
std::string reason(const platform::FileReplacementFailure& failure) {
  using Step = platform::FileReplacementFailure::Step;
  const auto step = [&failure](const char* what) { return std::string(what) + ": " + std::strerror(failure.error); };
  switch (failure.step) {
    case Step::followLink:
      return "the link loops or cannot be read";
    case Step::makeFolder:
      return step("cannot make its folder");
    case Step::makeTemporaryFile:
      return step("cannot make a file in its folder");
    case Step::write:
      return step("cannot write");
    case Step::rename:
      return step("cannot replace it");
  }
  return step("cannot write");
}

}  // namespace

UserDefaults::UserDefaults(std::filesystem::path path) : path_(std::move(path)) {
  // A link is followed, but only to a regular file: a link to /dev/zero would be read forever.
  if (const auto content = platform::readRegularFile(path_, maximumFileSize, /*followLinks=*/true)) {
    values_ = parse(*content);
  }
}

nlohmann::json UserDefaults::parse(std::string_view content) {
  try {
    auto parsed = platform::parseJson(content, maximumDepth);
    if (parsed.is_object()) return parsed;
  } catch (const platform::JsonDecodingError&) {
  }
  return nlohmann::json::object();
}

std::optional<std::string> UserDefaults::render(const nlohmann::json& values) {
  // The dump escapes nothing it cannot read back: strings that are not UTF-8 are replaced, not thrown.
  constexpr auto replace = nlohmann::json::error_handler_t::replace;
  // Indentation grows with depth: a small file of deep values can print a thousand times its size.
  std::string text = values.dump(2, ' ', false, replace) + "\n";
  if (text.size() > maximumFileSize) text = values.dump(-1, ' ', false, replace) + "\n";
  if (text.size() > maximumFileSize) return std::nullopt;
  return text;
}

std::filesystem::path UserDefaults::standardPath() {
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    config = std::filesystem::path(home) / ".config";
  } else {
    config = "/tmp";
  }
  return config / "tavrel" / "defaults.json";
}

std::optional<nlohmann::json> UserDefaults::value(std::string_view key) const {
  const auto entry = values_.find(key);
  if (entry == values_.end()) return std::nullopt;
  return *entry;
}

bool UserDefaults::set(std::string_view key, nlohmann::json value) {
  values_[std::string(key)] = std::move(value);
  keysSet_.emplace(key);
  const auto failure = write();
  if (!failure) return true;
  // Once per file and reason: a full disk would otherwise log every change of the run.
  if (warned_.emplace(failure->file.string(), failure->reason).second) {
    // The path names the user's home folder, and often the user: private like every other.
    logger().error("Settings could not be saved to {} ({}); changes hold only until Tavrel quits",
                   failure->file.string(), platform::publicArg(failure->reason));
  }
  return false;
}

std::optional<UserDefaults::WriteFailure> UserDefaults::write() {
  auto text = render(values_);
  if (!text) {
    // Someone else's values too large to keep: ours are kept, theirs go.
    nlohmann::json own = nlohmann::json::object();
    for (const auto& key : keysSet_) own[key] = values_.at(key);
    text = render(own);
    if (!text) return WriteFailure{path_, "the settings are too large to store"};
  }
  // Ours are the user's alone; a linked file the user keeps elsewhere keeps its own permissions.
  const auto replaced = platform::replaceFile(path_, *text, {.newFileMode = 0600, .keepsOwnFilePermissions = false});
  if (!replaced) return WriteFailure{replaced.error().file, reason(replaced.error())};
  // Saved all the same: the values matter more than who else may read them. Told once per file.
  if (replaced->lostGroup && warned_.emplace(replaced->file.string(), "group").second) {
    logger().error("Settings were saved to {}, but without the file's group {} ({})", replaced->file.string(),
                   static_cast<std::uint64_t>(*replaced->lostGroup),
                   platform::publicArg(std::strerror(replaced->groupError)));
  }
  return std::nullopt;
}

}  // namespace tavrel
