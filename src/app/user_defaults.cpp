#include "app/user_defaults.h"

#include "platform/json.h"
#include "platform/logger.h"
#include "platform/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tavrel {

namespace {

const platform::Logger& logger() {
  static const platform::Logger instance{"com.tavrel.macos", "UserDefaults"};
  return instance;
}

// Where a write lands, whether the folders on the way may be made, and the permissions the file
// gets: ours are the user's alone, a linked file the user keeps elsewhere keeps its own, group too.
struct WriteTarget {
  std::filesystem::path file;
  bool makeFolders = false;
  ::mode_t mode = 0600;
  std::optional<::gid_t> group;
};

std::string failedStep(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

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
      if (errno != ENOENT) {
        return isLink ? std::nullopt : std::optional<WriteTarget>({path, true, 0600, std::nullopt});
      }
      return WriteTarget{current, !isLink, 0600, std::nullopt};
    }
    if (!S_ISLNK(status.st_mode)) {
      if (isLink && !S_ISREG(status.st_mode)) return WriteTarget{path, true, 0600, std::nullopt};
      if (isLink) {
        return WriteTarget{current, false, static_cast<::mode_t>(status.st_mode & 0777), status.st_gid};
      }
      return WriteTarget{current, true, 0600, std::nullopt};
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
  const auto target = writeTarget(path_);
  if (!target) return WriteFailure{path_, "the link loops or cannot be read"};
  const auto failed = [&target](std::string reason) { return WriteFailure{target->file, std::move(reason)}; };
  const auto folder = target->file.parent_path();
  if (target->makeFolders && !folder.empty()) {
    if (const int error = platform::makePrivateFolders(folder); error != 0) {
      errno = error;
      return failed(failedStep("cannot make its folder"));
    }
  }
  auto text = render(values_);
  if (!text) {
    // Someone else's values too large to keep: ours are kept, theirs go.
    nlohmann::json own = nlohmann::json::object();
    for (const auto& key : keysSet_) own[key] = values_.at(key);
    text = render(own);
    if (!text) return failed("the settings are too large to store");
  }
  // The name is built piece by piece: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary.
  std::string name = ".";
  name += target->file.filename().string();
  name += ".XXXXXX";
  std::string temporary = (folder / name).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return failed(failedStep("cannot make a file in its folder"));
  // A linked file shared with a group stays shared: the new file is made in our own group, and is
  // given the old one back (a user may choose any group of theirs, root any group). Before the mode,
  // which a change of group may clear. Where it cannot be, the group's bits go too: they were meant
  // for that group, not ours.
  std::string groupLost;  // why not, when not
  ::mode_t mode = target->mode;
  if (struct ::stat made {}; target->group && ::fstat(fd, &made) == 0 && made.st_gid != *target->group &&
                             ::fchown(fd, static_cast<::uid_t>(-1), *target->group) != 0) {
    groupLost = std::strerror(errno);
    mode &= ~::mode_t{070};
  }
  // The first step that fails says why.
  std::string reason;
  if (::fchmod(fd, mode) != 0 || !platform::writeAll(fd, *text) || ::fsync(fd) != 0) {
    reason = failedStep("cannot write");
  }
  if (::close(fd) != 0 && reason.empty()) reason = failedStep("cannot write");
  if (reason.empty() && ::rename(temporary.c_str(), target->file.c_str()) != 0) reason = failedStep("cannot replace it");
  if (!reason.empty()) {
    ::unlink(temporary.c_str());
    return failed(std::move(reason));
  }
  // Saved all the same: the values matter more than who else may read them. Told once per file.
  if (!groupLost.empty() && warned_.emplace(target->file.string(), "group").second) {
    logger().error("Settings were saved to {}, but without the file's group {} ({})", target->file.string(),
                   static_cast<std::uint64_t>(*target->group), platform::publicArg(groupLost));
  }
  // The rename itself reaches the disk with the folder.
  if (const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return std::nullopt;
}

}  // namespace tavrel
