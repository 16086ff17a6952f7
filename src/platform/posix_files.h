#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/expected.h"

struct stat;

namespace tavrel::platform {

// Writes all of `data` to the descriptor, resuming after interrupted and short writes. False when a
// write fails (errno says why).
bool writeAll(int fd, std::string_view data);

// Creates each missing folder of `folder`, private to the user (0700); folders that exist are left
// as they are. 0 on success, else the errno of the first failure.
int makePrivateFolders(const std::filesystem::path& folder);

// The whole content of a regular file of at most `limit` bytes, or the errno of why not: ENOENT and
// the other errors of open(), ELOOP for a link when `followLinks` is false, EINVAL for anything but a
// regular file (a folder, a FIFO, a device), EFBIG for a longer file. Never blocks on a FIFO and never
// reads past `limit` + 1 bytes, whatever the file turns out to be.
Expected<std::string, int> readRegularFile(const std::filesystem::path& path, std::size_t limit, bool followLinks);

// What tells one state of a regular file from another: the same device and inode (not swapped for
// another file), and the same size and modification time (not edited since).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  std::int64_t modifiedNanoseconds = 0;

  static FileIdentity of(const struct ::stat& status);

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Opens a file for reading without following a link in its last component, and only while it is
// still `expected` (when given). Returns the descriptor, or -1 with errno set: ELOOP for a link,
// ESTALE for a file that is no longer the expected one (swapped, edited or not a regular file).
int openUnchangedFile(const std::filesystem::path& path, const std::optional<FileIdentity>& expected);

// Whether the open file still is `expected`; false for a descriptor fstat cannot look at.
bool isUnchangedFile(int fd, const FileIdentity& expected);
// Whether `path` still names `expected`, without opening it: one lstat, so a link, a file swapped,
// edited or gone all count as changed.
bool isUnchangedPath(const std::filesystem::path& path, const FileIdentity& expected);

// An owned file descriptor, closed when destroyed. -1 holds nothing.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset();

 private:
  int fd_ = -1;
};

// Opens the folder `name` inside the open folder `folder` (AT_FDCWD: `name` is a path) without
// following a link in its last component. An invalid descriptor with errno set (ELOOP for a link,
// ENOTDIR for anything else) when it is not a folder.
UniqueFd openFolderNoFollow(int folder, const char* name);

// The names in an open folder, "." and ".." left out, in the order the system lists them; the errno
// of the failure otherwise. The descriptor stays usable (the listing reads a copy).
Expected<std::vector<std::string>, int> listFolder(int folder);

// Removes the entry `name` of the open folder `folder`: a folder with everything in it, anything else
// as itself. Links are removed, never followed, and every step stays below `folder`, whatever is
// renamed meanwhile. 0, or the errno of the first failure (the removal goes on past it).
int removeTreeAt(int folder, const std::string& name);

// A text that is valid UTF-8: the bytes as they are when they are UTF-8, else each invalid byte
// replaced by U+FFFD. For names shown or sent to the service; files are read by their real bytes.
std::string lossyUTF8(std::string_view bytes);

}  // namespace tavrel::platform
