#include "sharehandoff/share_handoff_storage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/json.h"

namespace tavrel {
namespace {

using platform::Unit;
using platform::unexpected;
using Error = ShareHandoffStorageError;
using Kind = ShareHandoffStorageError::Kind;
template <typename T>
using Result = ShareHandoffStorage::Result<T>;

constexpr std::string_view requestSuffix = ".json";
constexpr std::string_view acknowledgementSuffix = ".ack.json";
constexpr std::string_view temporarySuffix = ".tmp";

platform::Unexpected<Error> failure(Kind kind) { return unexpected(Error{kind, {}}); }
platform::Unexpected<Error> systemFailure(const char* what, int error = errno) {
  return unexpected(Error::fileSystem(std::string(what) + ": " + std::strerror(error)));
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Creates a missing folder 0700, then insists that it is a real folder of ours and nobody else's.
Result<Unit> ensurePrivateDirectory(const std::filesystem::path& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return systemFailure("create folder");
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return systemFailure("inspect folder");
  if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) return failure(Kind::appGroupUnavailable);
  if ((status.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return systemFailure("protect folder");
  return Unit{};
}

// Reads a regular file of at most `limit` bytes. Links are not followed and nothing blocks: a FIFO,
// a device or a socket is refused, and a file that grows while it is read is cut off at limit + 1.
Result<std::string> readLimitedFile(const std::filesystem::path& path, std::int64_t limit) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ELOOP) return failure(Kind::invalidRequest);
    return systemFailure("open");
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return systemFailure("inspect");
  if (!S_ISREG(status.st_mode)) return failure(Kind::invalidRequest);
  if (status.st_size > limit) return failure(Kind::requestTooLarge);
  std::string contents;
  const auto wanted = static_cast<std::size_t>(limit) + 1;
  contents.resize(static_cast<std::size_t>(std::min<std::int64_t>(status.st_size + 1, limit + 1)));
  std::size_t filled = 0;
  while (filled < wanted) {
    if (filled == contents.size()) contents.resize(std::min(wanted, contents.size() * 2 + 4096));
    const auto count = ::read(fd.get(), contents.data() + filled, contents.size() - filled);
    if (count < 0) {
      if (errno == EINTR) continue;
      return systemFailure("read");
    }
    if (count == 0) break;
    filled += static_cast<std::size_t>(count);
  }
  if (filled > static_cast<std::size_t>(limit)) return failure(Kind::requestTooLarge);
  contents.resize(filled);
  return contents;
}

// Writes `bytes` to `temporary` (created afresh, never through a link) and renames it over `target`,
// so the target always holds either the old record or the new one.
Result<Unit> writeByRename(const std::filesystem::path& temporary, const std::filesystem::path& target,
                           std::string_view bytes) {
  ::unlink(temporary.c_str());
  {
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) return systemFailure("create");
    std::size_t written = 0;
    while (written < bytes.size()) {
      const auto count = ::write(fd.get(), bytes.data() + written, bytes.size() - written);
      if (count < 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::unlink(temporary.c_str());
        return systemFailure("write", error);
      }
      written += static_cast<std::size_t>(count);
    }
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0) {
      const int error = errno;
      ::unlink(temporary.c_str());
      return systemFailure("write", error);
    }
  }
  // The temporary file stays on failure; the purge takes it.
  if (::rename(temporary.c_str(), target.c_str()) != 0) return systemFailure("rename");
  return Unit{};
}

std::chrono::system_clock::time_point modificationTime(const struct stat& status) {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
}

// The visible names in `directory`, in the order the system lists them.
Result<std::vector<std::string>> listNames(const std::filesystem::path& directory) {
  DIR* stream = ::opendir(directory.c_str());
  if (!stream) return systemFailure("list");
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = ::readdir(stream)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    errno = 0;
  }
  const int error = errno;
  ::closedir(stream);
  if (error != 0) return systemFailure("list", error);
  return names;
}

}  // namespace

Result<std::filesystem::path> ShareHandoffStorage::defaultContainerDirectory() {
  std::filesystem::path base;
  if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome && dataHome[0] == '/') {
    base = dataHome;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return failure(Kind::appGroupUnavailable);
  }
  return base / "tavrel" / applicationGroup;
}

Result<ShareHandoffStorage> ShareHandoffStorage::make() {
  auto container = defaultContainerDirectory();
  if (!container) return unexpected(container.error());
  return ShareHandoffStorage(std::move(*container));
}

ShareHandoffStorage::ShareHandoffStorage(std::filesystem::path containerDirectory)
    : containerDirectory_(std::move(containerDirectory)), pendingDirectory_(containerDirectory_ / "Pending") {}

std::filesystem::path ShareHandoffStorage::requestFile(const platform::Uuid& id) const {
  return pendingDirectory_ / (id.toString() + std::string(requestSuffix));
}
std::filesystem::path ShareHandoffStorage::temporaryRequestFile(const platform::Uuid& id) const {
  return requestFile(id).string() + std::string(temporarySuffix);
}
std::filesystem::path ShareHandoffStorage::acknowledgementFile(const platform::Uuid& id) const {
  return pendingDirectory_ / (id.toString() + std::string(acknowledgementSuffix));
}
std::filesystem::path ShareHandoffStorage::temporaryAcknowledgementFile(const platform::Uuid& id) const {
  return acknowledgementFile(id).string() + std::string(temporarySuffix);
}

Result<Unit> ShareHandoffStorage::ensurePendingDirectory() const {
  // Missing parents (the data folder, "tavrel") are created private too.
  std::vector<std::filesystem::path> missing;
  for (auto path = containerDirectory_.parent_path(); !path.empty() && path != path.root_path();
       path = path.parent_path()) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0) break;
    missing.push_back(path);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) return systemFailure("create folder");
  }
  if (auto container = ensurePrivateDirectory(containerDirectory_); !container) return container;
  return ensurePrivateDirectory(pendingDirectory_);
}

Result<Unit> ShareHandoffStorage::validate(const ShareHandoffRequest& request) {
  if (request.schemaVersion != 1) return failure(Kind::unsupportedVersion);
  if (request.items.empty() || request.items.size() > maximumItemCount) return failure(Kind::invalidRequest);
  for (const auto& item : request.items) {
    if (item.displayName.empty()) return failure(Kind::invalidRequest);
    if (item.bookmarkData.empty() || item.bookmarkData.size() > maximumBookmarkSize) return failure(Kind::invalidRequest);
  }
  return Unit{};
}

Result<Unit> ShareHandoffStorage::removeStaleEntries(std::chrono::system_clock::time_point now) const {
  if (auto ensured = ensurePendingDirectory(); !ensured) return ensured;
  auto names = listNames(pendingDirectory_);
  if (!names) return unexpected(names.error());
  for (const auto& name : *names) {
    const auto path = pendingDirectory_ / name;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) continue;
    if (now - modificationTime(status) <= staleAge) continue;
    if (S_ISDIR(status.st_mode)) {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    } else {
      ::unlink(path.c_str());
    }
  }
  return Unit{};
}

Result<std::vector<ShareHandoffStorage::PendingEntry>> ShareHandoffStorage::pendingEntries() const {
  if (auto ensured = ensurePendingDirectory(); !ensured) return unexpected(ensured.error());
  auto names = listNames(pendingDirectory_);
  if (!names) return unexpected(names.error());
  std::vector<PendingEntry> entries;
  for (const auto& name : *names) {
    // Exactly "<stem>.json": both temporary kinds end in ".tmp", and an acknowledgement's stem ends
    // in ".ack", which is no UUID.
    if (name.size() <= requestSuffix.size() || !name.ends_with(requestSuffix)) continue;
    const auto requestID = platform::Uuid::parse(std::string_view(name).substr(0, name.size() - requestSuffix.size()));
    if (!requestID) continue;
    PendingEntry entry{*requestID, std::nullopt, std::nullopt, pendingDirectory_ / name};
    auto request = readRequest(entry.file);
    if (request) entry.request = std::move(*request);
    else entry.rejectionMessage = request.error().localizedDescription();
    entries.push_back(std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const PendingEntry& left, const PendingEntry& right) {
    return left.requestID.toString() < right.requestID.toString();
  });
  return entries;
}

Result<ShareHandoffRequest> ShareHandoffStorage::readRequest(const std::filesystem::path& file) const {
  auto contents = readLimitedFile(file, maximumFileSize);
  if (!contents) return unexpected(contents.error());
  auto decoded = platform::tryDecodeJson<ShareHandoffRequest>(*contents);
  if (!decoded) return unexpected(Error::decoding(decoded.error().path()));
  if (auto valid = validate(*decoded); !valid) return unexpected(valid.error());
  // The name must be the request's own id; a name in lower case names the same request.
  const std::string name = file.filename().string();
  if (!name.ends_with(requestSuffix) ||
      platform::Uuid::parse(std::string_view(name).substr(0, name.size() - requestSuffix.size())) != decoded->id) {
    return failure(Kind::invalidRequest);
  }
  return std::move(*decoded);
}

Result<Unit> ShareHandoffStorage::writeAcknowledgement(const ShareHandoffAcknowledgement& acknowledgement,
                                                       const std::optional<std::filesystem::path>& listedRequestFile) const {
  if (acknowledgement.schemaVersion != 1) return failure(Kind::unsupportedVersion);
  if (auto ensured = ensurePendingDirectory(); !ensured) return ensured;
  std::string bytes;
  try {
    bytes = encodeShareHandoffJson(acknowledgement.toJson());
  } catch (const platform::JsonEncodingError&) {
    return unexpected(Error::decoding("$"));
  }
  const auto id = acknowledgement.requestID;
  if (auto written = writeByRename(temporaryAcknowledgementFile(id), acknowledgementFile(id), bytes); !written) {
    return written;
  }
  ::unlink(requestFile(id).c_str());
  if (listedRequestFile && *listedRequestFile != requestFile(id)) ::unlink(listedRequestFile->c_str());
  return Unit{};
}

Result<Unit> ShareHandoffStorage::write(const ShareHandoffRequest& request) const {
  if (auto valid = validate(request); !valid) return valid;
  std::string bytes;
  try {
    bytes = encodeShareHandoffJson(request.toJson());
  } catch (const platform::JsonEncodingError&) {
    return failure(Kind::invalidRequest);
  }
  if (bytes.size() > static_cast<std::size_t>(maximumFileSize)) return failure(Kind::requestTooLarge);
  if (auto ensured = ensurePendingDirectory(); !ensured) return ensured;
  return writeByRename(temporaryRequestFile(request.id), requestFile(request.id), bytes);
}

Result<std::optional<ShareHandoffAcknowledgement>> ShareHandoffStorage::readAcknowledgement(
    const platform::Uuid& id) const {
  const auto file = acknowledgementFile(id);
  struct stat status {};
  if (::lstat(file.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::optional<ShareHandoffAcknowledgement>();
    return systemFailure("inspect");
  }
  auto contents = readLimitedFile(file, maximumFileSize);
  // Once looked at, the answer is gone: whatever it held, a retry must be free to ask again.
  if (S_ISDIR(status.st_mode)) {
    std::error_code ignored;
    std::filesystem::remove_all(file, ignored);
  } else {
    ::unlink(file.c_str());
  }
  if (!contents) return unexpected(contents.error());
  auto decoded = platform::tryDecodeJson<ShareHandoffAcknowledgement>(*contents);
  if (!decoded) return unexpected(Error::decoding(decoded.error().path()));
  if (decoded->schemaVersion != 1 || decoded->requestID != id) return failure(Kind::invalidRequest);
  return std::optional<ShareHandoffAcknowledgement>(std::move(*decoded));
}

void ShareHandoffStorage::removeRequestFiles(const platform::Uuid& id) const {
  ::unlink(requestFile(id).c_str());
  ::unlink(temporaryRequestFile(id).c_str());
}

}  // namespace tavrel
