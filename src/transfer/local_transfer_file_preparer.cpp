#include "transfer/local_transfer_file_preparer.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include "platform/content_types.h"
#include "platform/memory.h"
#include "platform/posix_files.h"
#include "platform/uuid.h"

namespace tavrel {
namespace {

using Failure = std::variant<TransferPreparationError, Cancelled>;

// Both tokens count: the caller's, and the preparer's own when it goes away.
class StopCheck {
 public:
  StopCheck(std::stop_token caller, std::stop_token owner) : caller_(std::move(caller)), owner_(std::move(owner)) {}
  bool requested() const { return caller_.stop_requested() || owner_.stop_requested(); }

 private:
  std::stop_token caller_;
  std::stop_token owner_;
};

std::string lastPathComponent(const std::filesystem::path& path) { return path.filename().string(); }

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Names reach the service and the interface as text; the file itself is read by its real bytes.
std::string displayableName(std::string_view name) { return platform::lossyUTF8(name); }

// Fresh random reference ids, drawn from the secure random source a block at a time: one call per
// id would cost more than the rest of a large walk.
class ReferenceIDs {
 public:
  std::string next() {
    if (used_ == block_.size()) refill();
    std::array<std::uint8_t, 16> bytes{};
    std::copy_n(block_.begin() + static_cast<std::ptrdiff_t>(used_), bytes.size(), bytes.begin());
    used_ += bytes.size();
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return platform::Uuid(bytes).toString();
  }

 private:
  void refill() {
    if (RAND_bytes(block_.data(), static_cast<int>(block_.size())) != 1) {
      throw std::runtime_error("secure random source unavailable");
    }
    used_ = 0;
  }

  std::array<std::uint8_t, 16 * 256> block_{};
  std::size_t used_ = block_.size();
};

TransferFile makeFile(ReferenceIDs& ids, std::string sourceURL, std::string relativePath,
                      const struct stat& status, std::string_view fileName) {
  return TransferFile{ids.next(), std::move(sourceURL), std::move(relativePath), status.st_size,
                      platform::mimeTypeForFileName(displayableName(fileName)), platform::FileIdentity::of(status)};
}

// A selected file. Returns nothing for an empty file (or anything without a file size).
std::variant<std::optional<TransferFile>, Failure> makeTopLevelFile(ReferenceIDs& ids, const std::filesystem::path& url,
                                                                    const std::string& relativePath) {
  const std::string name = displayableName(lastPathComponent(url));
  struct stat status {};
  if (::lstat(url.c_str(), &status) != 0) return Failure{TransferPreparationError::cannotRead(name)};
  if (S_ISLNK(status.st_mode)) return Failure{TransferPreparationError::unsupportedSymbolicLink(name)};
  if (!S_ISREG(status.st_mode) || status.st_size < 1) return std::optional<TransferFile>{};
  return std::optional<TransferFile>{makeFile(ids, url.string(), relativePath, status, name)};
}

// Walks one selected folder depth first, as a directory enumerator does (each folder's entries in
// the order the file system lists them, descending into a folder where it is listed), with one
// open folder per level. Links are never followed: folders are opened relative to their parent
// with O_NOFOLLOW, so a folder swapped for a link during the walk is refused too.
class FolderWalk {
 public:
  FolderWalk(const std::filesystem::path& folder, const std::string& topLevelName, const StopCheck& stop,
             ReferenceIDs& ids, std::vector<TransferFile>& files)
      : folder_(folder), stop_(stop), ids_(ids), files_(files), relativePath_(topLevelName) {}

  ~FolderWalk() {
    for (auto& frame : frames_) ::closedir(frame.directory);
  }
  FolderWalk(const FolderWalk&) = delete;
  FolderWalk& operator=(const FolderWalk&) = delete;

  std::optional<Failure> run() {
    const int descriptor = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
      const int error = errno;  // read before anything else can overwrite it
      return unreadable(lastPathComponent(folder_), error);
    }
    sourcePrefix_ = folder_.string();
    if (auto failure = push(descriptor, lastPathComponent(folder_), relativePath_.size())) return failure;

    while (!frames_.empty()) {
      Frame& frame = frames_.back();
      errno = 0;
      const dirent* entry = ::readdir(frame.directory);
      if (entry == nullptr) {
        if (errno != 0) return Failure{TransferPreparationError::cannotRead(displayableName(frame.name))};
        pop();
        continue;
      }
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (stop_.requested()) return Failure{Cancelled{}};
      if (auto failure = visit(frame, name, entry->d_type)) return failure;
    }
    return std::nullopt;
  }

 private:
  struct Frame {
    DIR* directory;
    std::string name;                 // the folder's own name, for errors
    std::size_t relativeLength;       // relativePath_'s length inside this folder
    std::size_t sourcePrefixLength;   // sourcePrefix_'s length inside this folder
  };

  static std::optional<Failure> unreadable(std::string name, int error) {
    if (error == ELOOP) return Failure{TransferPreparationError::unsupportedSymbolicLink(displayableName(name))};
    return Failure{TransferPreparationError::cannotRead(displayableName(name))};
  }

  std::optional<Failure> push(int descriptor, std::string name, std::size_t relativeLength) {
    DIR* directory = ::fdopendir(descriptor);
    if (directory == nullptr) {
      const int error = errno;
      ::close(descriptor);
      return unreadable(std::move(name), error);
    }
    frames_.push_back(Frame{directory, std::move(name), relativeLength, sourcePrefix_.size()});
    return std::nullopt;
  }

  void pop() {
    ::closedir(frames_.back().directory);
    frames_.pop_back();
    if (!frames_.empty()) {
      relativePath_.resize(frames_.back().relativeLength);
      sourcePrefix_.resize(frames_.back().sourcePrefixLength);
    }
  }

  std::optional<Failure> visit(const Frame& frame, std::string_view name, unsigned char type) {
    const std::string entryName(name);
    if (type == DT_LNK) return Failure{TransferPreparationError::unsupportedSymbolicLink(displayableName(name))};
    if (type == DT_DIR) return descend(frame, entryName);
    if (type != DT_REG && type != DT_UNKNOWN) return std::nullopt;  // devices, sockets, pipes

    struct stat status {};
    if (::fstatat(::dirfd(frame.directory), entryName.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      return Failure{TransferPreparationError::cannotRead(displayableName(name))};
    }
    if (S_ISLNK(status.st_mode)) return Failure{TransferPreparationError::unsupportedSymbolicLink(displayableName(name))};
    if (S_ISDIR(status.st_mode)) return descend(frame, entryName);
    if (!S_ISREG(status.st_mode) || status.st_size < 1) return std::nullopt;

    std::string relativePath;
    relativePath.reserve(relativePath_.size() + 1 + name.size());
    relativePath.append(relativePath_).append("/").append(displayableName(name));
    std::string source;
    source.reserve(sourcePrefix_.size() + 1 + name.size());
    source.append(sourcePrefix_).append("/").append(name);
    files_.push_back(makeFile(ids_, std::move(source), std::move(relativePath), status, name));
    return std::nullopt;
  }

  std::optional<Failure> descend(const Frame& frame, const std::string& name) {
    const int descriptor =
        ::openat(::dirfd(frame.directory), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
      const int error = errno;
      return unreadable(name, error);
    }
    relativePath_.append("/").append(displayableName(name));
    sourcePrefix_.append("/").append(name);
    // `frame` may move when the stack grows; nothing below uses it.
    return push(descriptor, name, relativePath_.size());
  }

  const std::filesystem::path& folder_;
  const StopCheck& stop_;
  ReferenceIDs& ids_;
  std::vector<TransferFile>& files_;
  std::vector<Frame> frames_;
  std::string relativePath_;
  std::string sourcePrefix_;
};

// Orders by Unicode scalar values after canonical normalisation. For UTF-8, byte order is scalar
// order, so ASCII paths (nearly all of them) compare as they are and only the others are
// normalised first.
void sortByRelativePath(std::vector<TransferFile>& files) {
  std::vector<std::string> normalized(files.size());
  for (std::size_t index = 0; index < files.size(); ++index) {
    const std::string& path = files[index].relativePath;
    if (isAscii(path)) continue;
    std::unique_ptr<gchar, decltype(&g_free)> nfc(
        g_utf8_normalize(path.data(), static_cast<gssize>(path.size()), G_NORMALIZE_NFC), &g_free);
    normalized[index] = nfc ? std::string(nfc.get()) : path;
  }
  // Non-ASCII paths are never empty, so an empty key means "the path itself".
  const auto keyOf = [&](std::uint32_t index) -> std::string_view {
    return normalized[index].empty() ? std::string_view(files[index].relativePath) : std::string_view(normalized[index]);
  };
  std::vector<std::uint32_t> order(files.size());
  for (std::size_t index = 0; index < order.size(); ++index) order[index] = static_cast<std::uint32_t>(index);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keyOf(a) < keyOf(b); });

  std::vector<TransferFile> sorted;
  sorted.reserve(files.size());
  for (const auto index : order) sorted.push_back(std::move(files[index]));
  files = std::move(sorted);
}

PreparationOutcome prepareSelection(const TransferSelection& selection, const TransferDefaults& defaults,
                                    const StopCheck& stop) {
  const auto names = LocalTransferFilePreparer::topLevelNames(selection);
  ReferenceIDs ids;
  std::vector<TransferFile> files;

  for (std::size_t index = 0; index < selection.items.size(); ++index) {
    if (stop.requested()) return Cancelled{};
    const SelectedTransferItem& item = selection.items[index];
    const std::string topLevelName = displayableName(names[index]);

    // An unreadable link flag is not an error here: the steps below report what they can't read.
    struct stat status {};
    if (::lstat(item.url.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
      return TransferPreparationError::unsupportedSymbolicLink(item.displayName);
    }

    if (item.kind == TransferItemKind::file) {
      auto made = makeTopLevelFile(ids, item.url, topLevelName);
      if (auto* failure = std::get_if<Failure>(&made)) {
        if (auto* error = std::get_if<TransferPreparationError>(failure)) return *error;
        return Cancelled{};
      }
      if (auto& file = std::get<std::optional<TransferFile>>(made)) files.push_back(std::move(*file));
      continue;
    }

    FolderWalk walk(item.url, topLevelName, stop, ids, files);
    if (auto failure = walk.run()) {
      if (auto* error = std::get_if<TransferPreparationError>(&*failure)) return *error;
      return Cancelled{};
    }
  }

  sortByRelativePath(files);
  if (files.empty()) return TransferPreparationError::noTransferableFiles();
  return PreparedTransfer{selection,
                          selection.items.empty() ? std::string("Untitled Transfer") : selection.items.front().displayName,
                          std::move(files), defaults};
}

}  // namespace

LocalTransferFilePreparer::LocalTransferFilePreparer(platform::MainQueue& mainQueue) : mainQueue_(mainQueue) {}

LocalTransferFilePreparer::~LocalTransferFilePreparer() {
  std::vector<Worker> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  // Each jthread requests stop and joins as it goes.
}

std::vector<std::string> LocalTransferFilePreparer::topLevelNames(const TransferSelection& selection) {
  // Numbering by display name alone could hand out a name another item already has ("Photos",
  // "Photos", "Photos (2)" would give "Photos (2)" twice), so numbers skip every name in use.
  std::set<std::string> taken;
  for (const auto& item : selection.items) taken.insert(item.displayName);
  std::map<std::string, int> occurrences;
  std::set<std::string> assigned;
  std::vector<std::string> names;
  names.reserve(selection.items.size());
  for (const auto& item : selection.items) {
    const int occurrence = ++occurrences[item.displayName];
    std::string name = item.displayName;
    if (occurrence > 1 || assigned.count(name) > 0) {
      for (int number = std::max(occurrence, 2);; ++number) {
        name = item.displayName + " (" + std::to_string(number) + ")";
        if (taken.count(name) == 0 && assigned.count(name) == 0) break;
      }
    }
    assigned.insert(name);
    names.push_back(std::move(name));
  }
  return names;
}

PreparationOutcome LocalTransferFilePreparer::prepareNow(const TransferSelection& selection,
                                                         const TransferDefaults& defaults, std::stop_token stop) {
  return prepareSelection(selection, defaults, StopCheck(std::move(stop), {}));
}

void LocalTransferFilePreparer::prepare(TransferSelection selection, TransferDefaults defaults, std::stop_token stop,
                                        Completion onPrepared) {
  auto* mainQueue = &mainQueue_;
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(mutex_);
  std::erase_if(workers_, [](const Worker& worker) { return worker.finished->load(); });
  workers_.push_back(Worker{
      std::jthread([mainQueue, finished, selection = std::move(selection), defaults = std::move(defaults),
                    stop = std::move(stop), onPrepared = std::move(onPrepared)](std::stop_token owner) mutable {
        // Background work: a large walk yields to the interface. Best effort; failure changes nothing.
        (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        PreparationOutcome outcome = Cancelled{};
        try {
          outcome = prepareSelection(selection, defaults, StopCheck(stop, owner));
        } catch (const std::exception&) {
          // Out of memory or no random source: the selection could not be read, and the caller
          // must still hear back rather than the process ending on this thread.
          const std::string name = selection.items.empty() ? std::string() : selection.items.front().displayName;
          outcome = TransferPreparationError::cannotRead(name);
        }
        // The walk's working lists (the unsorted files, the sort keys) are gone; the upload that
        // follows runs on other threads and would never reuse their pages.
        platform::releaseFreedMemory();
        mainQueue->post([onPrepared = std::move(onPrepared), outcome = std::move(outcome)]() mutable {
          onPrepared(std::move(outcome));
        });
        finished->store(true);
      }),
      finished});
}

}  // namespace tavrel
