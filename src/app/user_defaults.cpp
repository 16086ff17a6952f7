#include "app/user_defaults.h"

#include "platform/json.h"
#include "platform/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tavrel {

namespace {

// Where a write lands, and whether the folders on the way may be made.
struct WriteTarget {
  std::filesystem::path file;
  bool makeFolders = false;
};

// The file a write replaces. A link (dotfile managers keep settings that way) is followed to the
// end of its chain, relative targets from the folder of the link that names them, so the link stays
// and its file gets the new values. A link whose end is missing gets that file made, but only in a
// folder that exists: an unmounted drive leaves the link as it is and the write fails. A link to what
// is not a file (a device, a FIFO, a folder) holds no settings and is replaced like anything else in
// the file's place. None for a chain that loops or cannot be read: that link is kept.
std::optional<WriteTarget> writeTarget(const std::filesystem::path& path) {
  constexpr int maximumLinks = 40;  // as the kernel allows when it resolves a name
  std::filesystem::path current = path;
  for (int links = 0; links <= maximumLinks; ++links) {
    const bool isLink = links > 0;
    struct ::stat status {};
    if (::lstat(current.c_str(), &status) != 0) {
      if (errno != ENOENT) return isLink ? std::nullopt : std::optional<WriteTarget>({path, true});
      return WriteTarget{current, !isLink};
    }
    if (!S_ISLNK(status.st_mode)) {
      if (isLink && !S_ISREG(status.st_mode)) return WriteTarget{path, true};
      return WriteTarget{current, !isLink};
    }
    std::error_code error;
    const auto named = std::filesystem::read_symlink(current, error);
    if (error || named.empty()) return std::nullopt;
    current = named.is_absolute() ? named : current.parent_path() / named;
  }
  return std::nullopt;
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
  return write();
}

bool UserDefaults::write() const {
  const auto target = writeTarget(path_);
  if (!target) return false;
  const auto folder = target->file.parent_path();
  if (target->makeFolders && !folder.empty() && platform::makePrivateFolders(folder) != 0) return false;
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
  name += target->file.filename().string();
  name += ".XXXXXX";
  std::string temporary = (folder / name).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  const bool written = ::fchmod(fd, 0600) == 0 && platform::writeAll(fd, *text) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temporary.c_str(), target->file.c_str()) != 0) {
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
