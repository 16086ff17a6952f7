#include "sharehandoff/share_handoff_storage.h"

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
#include "platform/posix_files.h"

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

using platform::UniqueFd;

// Opens the folder `name` inside `parent` (creating it 0700 when missing) without following a link,
// and insists that it is a real folder of ours and nobody else's.
Result<UniqueFd> openPrivateFolder(int parent, const char* name) {
  if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST) return systemFailure("create folder");
  UniqueFd folder = platform::openFolderNoFollow(parent, name);
  if (!folder) {
    if (errno == ELOOP || errno == ENOTDIR) return failure(Kind::appGroupUnavailable);
    return systemFailure("open folder");
  }
  struct stat status {};
  if (::fstat(folder.get(), &status) != 0) return systemFailure("inspect folder");
  if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) return failure(Kind::appGroupUnavailable);
  if ((status.st_mode & 077) != 0 && ::fchmod(folder.get(), 0700) != 0) return systemFailure("protect folder");
  return folder;
}

// Reads the regular file `name` of `folder`, of at most `limit` bytes. Links are not followed and
// nothing blocks: a FIFO, a device or a socket is refused, and a file that grows while it is read is
// cut off at limit + 1.
Result<std::string> readLimitedFile(int folder, const std::string& name, std::int64_t limit) {
  UniqueFd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) {
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
// both in `folder`, so the target always holds either the old record or the new one.
Result<Unit> writeByRename(int folder, const std::string& temporary, const std::string& target,
                           std::string_view bytes) {
  ::unlinkat(folder, temporary.c_str(), 0);
  {
    UniqueFd fd(::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return systemFailure("create");
    if (!platform::writeAll(fd.get(), bytes)) {
      const int error = errno;
      ::unlinkat(folder, temporary.c_str(), 0);
      return systemFailure("write", error);
    }
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0) {
      const int error = errno;
      ::unlinkat(folder, temporary.c_str(), 0);
      return systemFailure("write", error);
    }
  }
  // The temporary file stays on failure; the purge takes it.
  if (::renameat(folder, temporary.c_str(), folder, target.c_str()) != 0) return systemFailure("rename");
  return Unit{};
}

std::chrono::system_clock::time_point modificationTime(const struct stat& status) {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
}

// The visible names in the open folder, in the order the system lists them.
Result<std::vector<std::string>> listNames(int folder) {
  auto names = platform::listFolder(folder);
  if (!names) return systemFailure("list", names.error());
  std::erase_if(*names, [](const std::string& name) { return name.front() == '.'; });
  return std::move(*names);
}

std::string fileName(const platform::Uuid& id, std::string_view suffix) { return id.toString() + std::string(suffix); }

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
  auto pending = openPendingDirectory();
  if (!pending) return unexpected(pending.error());
  return Unit{};
}

Result<UniqueFd> ShareHandoffStorage::openPendingDirectory() const {
  // Missing parents (the data folder, "tavrel") are created private too.
  if (const int error = platform::makePrivateFolders(containerDirectory_.parent_path()); error != 0) {
    return systemFailure("create folder", error);
  }
  auto container = openPrivateFolder(AT_FDCWD, containerDirectory_.c_str());
  if (!container) return container;
  return openPrivateFolder(container->get(), pendingDirectory_.filename().c_str());
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
  // Every step goes through the one descriptor: "Pending" swapped for a link meanwhile cannot lead
  // the removals anywhere else.
  auto pending = openPendingDirectory();
  if (!pending) return unexpected(pending.error());
  auto names = listNames(pending->get());
  if (!names) return unexpected(names.error());
  for (const auto& name : *names) {
    struct stat status {};
    if (::fstatat(pending->get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (now - modificationTime(status) <= staleAge) continue;
    (void)platform::removeTreeAt(pending->get(), name);
  }
  return Unit{};
}

Result<std::vector<ShareHandoffStorage::PendingRequestFile>> ShareHandoffStorage::pendingRequestFiles() const {
  auto pending = openPendingDirectory();
  if (!pending) return unexpected(pending.error());
  auto names = listNames(pending->get());
  if (!names) return unexpected(names.error());
  std::vector<PendingRequestFile> files;
  for (const auto& name : *names) {
    // Exactly "<stem>.json": both temporary kinds end in ".tmp", and an acknowledgement's stem ends
    // in ".ack", which is no UUID.
    if (name.size() <= requestSuffix.size() || !name.ends_with(requestSuffix)) continue;
    const auto requestID = platform::Uuid::parse(std::string_view(name).substr(0, name.size() - requestSuffix.size()));
    if (!requestID) continue;
    files.push_back({*requestID, pendingDirectory_ / name});
  }
  std::stable_sort(files.begin(), files.end(), [](const PendingRequestFile& left, const PendingRequestFile& right) {
    return left.requestID.toString() < right.requestID.toString();
  });
  return files;
}

Result<std::vector<ShareHandoffStorage::PendingEntry>> ShareHandoffStorage::pendingEntries() const {
  auto files = pendingRequestFiles();
  if (!files) return unexpected(files.error());
  std::vector<PendingEntry> entries;
  for (const auto& listed : *files) {
    PendingEntry entry{listed.requestID, std::nullopt, std::nullopt, listed.file};
    auto request = readPendingRequest(listed);
    if (request) entry.request = std::move(*request);
    else entry.rejectionMessage = request.error().localizedDescription();
    entries.push_back(std::move(entry));
  }
  return entries;
}

Result<ShareHandoffRequest> ShareHandoffStorage::readRequest(const std::filesystem::path& file) const {
  UniqueFd folder = platform::openFolderNoFollow(AT_FDCWD, file.parent_path().c_str());
  if (!folder) return systemFailure("open folder");
  return readRequestAt(folder.get(), file.filename().string());
}

Result<ShareHandoffRequest> ShareHandoffStorage::readPendingRequest(const PendingRequestFile& listed) const {
  auto pending = openPendingDirectory();
  if (!pending) return unexpected(pending.error());
  return readRequestAt(pending->get(), listed.file.filename().string());
}

Result<ShareHandoffRequest> ShareHandoffStorage::readRequestAt(int folder, const std::string& name) const {
  auto contents = readLimitedFile(folder, name, maximumFileSize);
  if (!contents) return unexpected(contents.error());
  auto decoded = platform::tryDecodeJson<ShareHandoffRequest>(*contents);
  if (!decoded) return unexpected(Error::decoding(decoded.error().path()));
  if (auto valid = validate(*decoded); !valid) return unexpected(valid.error());
  // The name must be the request's own id; a name in lower case names the same request.
  if (!name.ends_with(requestSuffix) ||
      platform::Uuid::parse(std::string_view(name).substr(0, name.size() - requestSuffix.size())) != decoded->id) {
    return failure(Kind::invalidRequest);
  }
  return std::move(*decoded);
}

Result<ShareHandoffStorage::AnsweredRequest> ShareHandoffStorage::writeAcknowledgement(
    const ShareHandoffAcknowledgement& acknowledgement, const std::optional<std::filesystem::path>& listedRequestFile) const {
  if (acknowledgement.schemaVersion != 1) return failure(Kind::unsupportedVersion);
  auto pending = openPendingDirectory();
  if (!pending) return unexpected(pending.error());
  std::string bytes;
  try {
    bytes = encodeShareHandoffJson(acknowledgement.toJson());
  } catch (const platform::JsonEncodingError&) {
    return unexpected(Error::decoding("$"));
  }
  const auto id = acknowledgement.requestID;
  const auto target = fileName(id, acknowledgementSuffix);
  if (auto written = writeByRename(pending->get(), target + std::string(temporarySuffix), target, bytes); !written) {
    return unexpected(written.error());
  }
  // The answer is in place before the request goes, so a share program that finds the request gone
  // always finds the answer too.
  const auto request = fileName(id, requestSuffix);
  bool removed = ::unlinkat(pending->get(), request.c_str(), 0) == 0;
  if (listedRequestFile && listedRequestFile->filename() != request) {
    removed = ::unlinkat(pending->get(), listedRequestFile->filename().c_str(), 0) == 0 || removed;
  }
  return removed ? AnsweredRequest::taken : AnsweredRequest::withdrawn;
}

void ShareHandoffStorage::removeAcknowledgement(const platform::Uuid& id) const {
  UniqueFd pending = platform::openFolderNoFollow(AT_FDCWD, pendingDirectory_.c_str());
  if (!pending) return;
  ::unlinkat(pending.get(), fileName(id, acknowledgementSuffix).c_str(), 0);
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
  auto pending = openPendingDirectory();
  if (!pending) return unexpected(pending.error());
  const auto target = fileName(request.id, requestSuffix);
  return writeByRename(pending->get(), target + std::string(temporarySuffix), target, bytes);
}

Result<std::optional<ShareHandoffAcknowledgement>> ShareHandoffStorage::readAcknowledgement(
    const platform::Uuid& id) const {
  UniqueFd pending = platform::openFolderNoFollow(AT_FDCWD, pendingDirectory_.c_str());
  if (!pending) {
    if (errno == ENOENT) return std::optional<ShareHandoffAcknowledgement>();
    if (errno == ELOOP || errno == ENOTDIR) return failure(Kind::appGroupUnavailable);
    return systemFailure("open folder");
  }
  const auto name = fileName(id, acknowledgementSuffix);
  struct stat status {};
  if (::fstatat(pending.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return std::optional<ShareHandoffAcknowledgement>();
    return systemFailure("inspect");
  }
  auto contents = readLimitedFile(pending.get(), name, maximumFileSize);
  // Once looked at, the answer is gone: whatever it held, a retry must be free to ask again.
  (void)platform::removeTreeAt(pending.get(), name);
  if (!contents) return unexpected(contents.error());
  auto decoded = platform::tryDecodeJson<ShareHandoffAcknowledgement>(*contents);
  if (!decoded) return unexpected(Error::decoding(decoded.error().path()));
  if (decoded->schemaVersion != 1 || decoded->requestID != id) return failure(Kind::invalidRequest);
  return std::optional<ShareHandoffAcknowledgement>(std::move(*decoded));
}

bool ShareHandoffStorage::removeRequestFiles(const platform::Uuid& id) const {
  UniqueFd pending = platform::openFolderNoFollow(AT_FDCWD, pendingDirectory_.c_str());
  if (!pending) return false;
  const auto name = fileName(id, requestSuffix);
  ::unlinkat(pending.get(), (name + std::string(temporarySuffix)).c_str(), 0);
  return ::unlinkat(pending.get(), name.c_str(), 0) == 0;
}

}  // namespace tavrel
