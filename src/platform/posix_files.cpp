#include "platform/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace tavrel::platform {

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const auto written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int makePrivateFolders(const std::filesystem::path& folder) {
  std::filesystem::path current;
  for (const auto& part : folder) {
    current /= part;
    if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

Expected<std::string, int> readRegularFile(const std::filesystem::path& path, std::size_t limit, bool followLinks) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW);
  UniqueFd fd(::open(path.c_str(), flags));
  if (!fd) return unexpected(errno);
  struct ::stat status {};
  if (::fstat(fd.get(), &status) != 0) return unexpected(errno);
  if (!S_ISREG(status.st_mode)) return unexpected(EINVAL);
  std::string content;
  char buffer[16 * 1024];
  while (content.size() <= limit) {
    const auto count = ::read(fd.get(), buffer, std::min(sizeof buffer, limit + 1 - content.size()));
    if (count < 0) {
      if (errno == EINTR) continue;
      return unexpected(errno);
    }
    if (count == 0) return content;
    content.append(buffer, static_cast<std::size_t>(count));
  }
  return unexpected(EFBIG);
}

FileIdentity FileIdentity::of(const struct ::stat& status) {
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
                      static_cast<std::int64_t>(status.st_size), static_cast<std::int64_t>(status.st_mtim.tv_sec),
                      static_cast<std::int64_t>(status.st_mtim.tv_nsec)};
}

bool isUnchangedFile(int fd, const FileIdentity& expected) {
  struct ::stat status {};
  if (::fstat(fd, &status) != 0) return false;
  return S_ISREG(status.st_mode) && FileIdentity::of(status) == expected;
}

bool isUnchangedPath(const std::filesystem::path& path, const FileIdentity& expected) {
  struct ::stat status {};
  if (::lstat(path.c_str(), &status) != 0) return false;
  return S_ISREG(status.st_mode) && FileIdentity::of(status) == expected;
}

int openUnchangedFile(const std::filesystem::path& path, const std::optional<FileIdentity>& expected) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 || !expected) return fd;
  if (!isUnchangedFile(fd, *expected)) {
    ::close(fd);
    errno = ESTALE;
    return -1;
  }
  return fd;
}

void UniqueFd::reset() {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

UniqueFd openFolderNoFollow(int folder, const char* name) {
  return UniqueFd(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

Expected<std::vector<std::string>, int> listFolder(int folder) {
  // fdopendir takes its descriptor over; a fresh open of "." also starts the listing afresh.
  UniqueFd copy(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!copy) return unexpected(errno);
  DIR* stream = ::fdopendir(copy.get());
  if (!stream) return unexpected(errno);
  copy.release();
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int error = errno;
  ::closedir(stream);
  if (error != 0) return unexpected(error);
  return names;
}

int removeTreeAt(int folder, const std::string& name) {
  if (::unlinkat(folder, name.c_str(), 0) == 0) return 0;
  if (errno != EISDIR && errno != EPERM) return errno;
  // A folder: empty it through a descriptor of its own, so a link put in its place meanwhile is
  // refused rather than followed.
  int firstError = 0;
  {
    UniqueFd inner = openFolderNoFollow(folder, name.c_str());
    if (!inner) return errno;
    auto names = listFolder(inner.get());
    if (!names) return names.error();
    for (const auto& child : *names) {
      const int error = removeTreeAt(inner.get(), child);
      if (error != 0 && firstError == 0) firstError = error;
    }
  }
  if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0 && firstError == 0) firstError = errno;
  return firstError;
}

std::string lossyUTF8(std::string_view bytes) {
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return std::string(bytes);
  std::unique_ptr<gchar, decltype(&g_free)> valid(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())),
                                                  &g_free);
  return valid ? std::string(valid.get()) : std::string();
}

}  // namespace tavrel::platform
