#include "platform/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

#include "platform/posix_files.h"

namespace tavrel::platform {

namespace {

// Where a write lands, whether the folders on the way may be made, and the permissions it gets.
struct WriteTarget {
  std::filesystem::path file;
  bool makeFolders = false;
  ::mode_t mode = 0600;
  std::optional<::gid_t> group;
};

// The file a write replaces; the errno of why none for a chain that loops or cannot be read.
Expected<WriteTarget, int> writeTarget(const std::filesystem::path& path, const FileReplacementOptions& options) {
  constexpr int maximumLinks = 40;  // as the kernel allows when it resolves a name
  const WriteTarget ownFile{path, true, options.newFileMode, std::nullopt};
  std::filesystem::path current = path;
  for (int links = 0; links <= maximumLinks; ++links) {
    const bool isLink = links > 0;
    struct ::stat status {};
    if (::lstat(current.c_str(), &status) != 0) {
      if (errno != ENOENT) {
        if (isLink) return unexpected(errno);
        return ownFile;
      }
      return WriteTarget{current, !isLink, options.newFileMode, std::nullopt};
    }
    if (!S_ISLNK(status.st_mode)) {
      if (!S_ISREG(status.st_mode)) return ownFile;
      if (isLink || options.keepsOwnFilePermissions) {
        return WriteTarget{current, !isLink, static_cast<::mode_t>(status.st_mode & 0777), status.st_gid};
      }
      return ownFile;
    }
    std::error_code error;
    const auto named = std::filesystem::read_symlink(current, error);
    if (error || named.empty()) return unexpected(error ? error.value() : ENOENT);
    current = named.is_absolute() ? named : current.parent_path() / named;
  }
  return unexpected(ELOOP);
}

}  // namespace

Expected<FileReplacement, FileReplacementFailure> replaceFile(const std::filesystem::path& path, std::string_view content,
                                                              const FileReplacementOptions& options) {
  using Step = FileReplacementFailure::Step;
  const auto target = writeTarget(path, options);
  if (!target) return unexpected(FileReplacementFailure{Step::followLink, target.error(), path});
  const auto failed = [&target](Step step, int error) {
    return unexpected(FileReplacementFailure{step, error, target->file});
  };
  const auto folder = target->file.parent_path();
  if (target->makeFolders && !folder.empty()) {
    if (const int error = makePrivateFolders(folder); error != 0) return failed(Step::makeFolder, error);
  }
  // The name is built piece by piece: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary.
  std::string name = ".";
  name += target->file.filename().string();
  name += ".XXXXXX";
  std::string temporary = (folder / name).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return failed(Step::makeTemporaryFile, errno);
  // A file shared with a group stays shared: the new file is made in our own group, and is given
  // the old one back (a user may choose any group of theirs, root any group). Before the mode, which
  // a change of group may clear. Where it cannot be, the group's bits go too: they were meant for
  // that group, not ours.
  FileReplacement replaced{target->file, std::nullopt, 0};
  ::mode_t mode = target->mode;
  if (struct ::stat made {}; target->group && ::fstat(fd, &made) == 0 && made.st_gid != *target->group &&
                             ::fchown(fd, static_cast<::uid_t>(-1), *target->group) != 0) {
    replaced.lostGroup = target->group;
    replaced.groupError = errno;
    mode &= ~::mode_t{070};
  }
  // The first step that fails says why.
  int error = 0;
  if (::fchmod(fd, mode) != 0 || !writeAll(fd, content) || ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  Step step = Step::write;
  if (error == 0 && ::rename(temporary.c_str(), target->file.c_str()) != 0) {
    error = errno;
    step = Step::rename;
  }
  if (error != 0) {
    ::unlink(temporary.c_str());
    return failed(step, error);
  }
  // The rename itself reaches the disk with the folder.
  if (const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return replaced;
}

}  // namespace tavrel::platform
