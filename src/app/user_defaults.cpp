#include "app/user_defaults.h"

#include "platform/json.h"
#include "platform/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tavrel {

UserDefaults::UserDefaults(std::filesystem::path path) : path_(std::move(path)) {
  // Not following a link: the file is ours, and a link to /dev/zero would be read forever.
  if (const auto content = platform::readRegularFile(path_, maximumFileSize, /*followLinks=*/false)) {
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
  return write();
}

bool UserDefaults::write() const {
  const auto folder = path_.parent_path();
  if (!folder.empty() && platform::makePrivateFolders(folder) != 0) return false;
  auto text = render(values_);
  if (!text) {
    // Someone else's values too large to keep: ours are kept, theirs go.
    nlohmann::json own = nlohmann::json::object();
    for (const auto& key : keysSet_) own[key] = values_.at(key);
    text = render(own);
    if (!text) return false;
  }
  // The name is built piece by piece: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary.
  std::string name = ".";
  name += path_.filename().string();
  name += ".XXXXXX";
  std::string temporary = (folder / name).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  const bool written = ::fchmod(fd, 0600) == 0 && platform::writeAll(fd, *text) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), path_.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  if (const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

}  // namespace tavrel
