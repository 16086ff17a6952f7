#include "app/user_defaults.h"

#include "platform/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace tavrel {

UserDefaults::UserDefaults(std::filesystem::path path) : path_(std::move(path)) {
  std::ifstream file(path_, std::ios::binary);
  if (!file) return;
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  auto parsed = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_object()) values_ = std::move(parsed);
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
  return write();
}

bool UserDefaults::write() const {
  const auto folder = path_.parent_path();
  if (!folder.empty() && platform::makePrivateFolders(folder) != 0) return false;
  // The name is built piece by piece: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary.
  std::string name = ".";
  name += path_.filename().string();
  name += ".XXXXXX";
  std::string temporary = (folder / name).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  // The dump escapes nothing it cannot read back: strings that are not UTF-8 are replaced, not thrown.
  const std::string text = values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  const bool written = ::fchmod(fd, 0600) == 0 && platform::writeAll(fd, text) && ::fsync(fd) == 0;
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
