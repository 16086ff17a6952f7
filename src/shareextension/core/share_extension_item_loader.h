#pragma once

// Turns what the file manager handed the share program (one path or URI per selected item) into
// loaded items: the hand-off item the program will receive (bookmark, name, kind, content type) and
// what the sheet shows (size, path).
//
// Each item is read on a worker thread of its own, because looking at a file on a hung network mount
// blocks; an item that takes longer than the time limit is abandoned (its thread finishes or not, its
// answer is ignored) and the load fails. Items are read one after the other, so n items may take n
// times the limit.
//
// IMPORTANT: Thread-safety. load() and every completion belong to the main thread; readers run on
// worker threads; a representation request's outcome is decided once, under its lock, whichever of
// the reader, the timer or a cancel comes first.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

#include "platform/expected.h"
#include "platform/main_queue.h"
#include "platform/time_limited_work.h"
#include "platform/translatable_text.h"
#include "sharehandoff/share_handoff_records.h"

namespace tavrel {

// One selected item as handed over: an absolute or relative path, a file:// URI or another URI.
struct ShareExtensionAttachment {
  std::string location;
  std::optional<std::string> suggestedName;  // a name offered with the item, used when not empty

  friend bool operator==(const ShareExtensionAttachment&, const ShareExtensionAttachment&) = default;
};

struct LoadedShareExtensionItem {
  ShareHandoffItem handoffItem;
  std::filesystem::path sourceURL;        // the item's normalised absolute path
  std::optional<std::int64_t> byteCount;  // none for folders
  std::optional<std::string> contentTypeIdentifier;  // always the hand-off item's

  friend bool operator==(const LoadedShareExtensionItem&, const LoadedShareExtensionItem&) = default;
};

struct ShareExtensionItemLoaderError {
  enum class Kind {
    noFiles,
    tooManyFiles,
    unsupportedItem,
    temporaryRepresentation,
    unavailableItem,
    providerTimedOut,
    system,        // the system refused to look at the item; `detail` says why
    symbolicLink,  // the item is a link; `detail` is its name
  };
  Kind kind = Kind::unsupportedItem;
  std::string detail;

  // The symbolic-link text before the link's name is filled in.
  static constexpr const char* symbolicLinkPattern = TAVREL_TRANSLATE_NOOP(
      "Core", "“%1” is a symbolic link and can’t be sent. Share the original file or folder instead.");

  std::string localizedDescription() const;
  friend bool operator==(const ShareExtensionItemLoaderError&, const ShareExtensionItemLoaderError&) = default;
};

// Reads one local item. Blocking; runs on a worker thread. The token is stopped once nobody waits
// for the answer any more.
using ShareExtensionItemReading = std::function<platform::Expected<LoadedShareExtensionItem, ShareExtensionItemLoaderError>(
    const std::filesystem::path& path, const std::optional<std::string>& suggestedName, std::stop_token stop)>;

// The live reader: looks at the item without following a link and makes its bookmark.
platform::Expected<LoadedShareExtensionItem, ShareExtensionItemLoaderError> readLocalShareItem(
    const std::filesystem::path& path, const std::optional<std::string>& suggestedName, std::stop_token stop);

// Where a handed-over location points: a local path, or why it cannot be shared. Relative paths are
// taken from the current folder; file:// URIs must name this machine; web addresses are not local
// files; any other location (sftp://, smb://, ...) could only arrive as a temporary copy.
platform::Expected<std::filesystem::path, ShareExtensionItemLoaderError> localPathOfShareLocation(
    const std::string& location);

// Reads one item within a time limit and delivers exactly one outcome.
class ShareExtensionRepresentationRequest {
 public:
  struct Loaded {
    LoadedShareExtensionItem item;
  };
  struct Failed {
    ShareExtensionItemLoaderError error;
  };
  struct TimedOut {};
  struct Cancelled {};
  using Outcome = std::variant<Loaded, Failed, TimedOut, Cancelled>;
  using Continuation = std::function<void(Outcome)>;

  ShareExtensionRepresentationRequest(std::filesystem::path path, std::optional<std::string> suggestedName);

  // Starts the reader on a worker thread and the timer on the main queue. `continuation` runs once,
  // on the main thread, never inside this call; at once with Cancelled when cancel() came first.
  void load(platform::MainQueue& mainQueue, platform::Duration timeout, ShareExtensionItemReading reader,
            Continuation continuation);
  // Finishes with Cancelled and tells the reader to stop. Any thread.
  void cancel();

 private:
  using Reading = platform::Expected<LoadedShareExtensionItem, ShareExtensionItemLoaderError>;

  const std::filesystem::path path_;
  const std::optional<std::string> suggestedName_;
  const std::shared_ptr<platform::TimeLimitedWork<Reading>> work_ =
      std::make_shared<platform::TimeLimitedWork<Reading>>();
};

struct ShareExtensionLoadCancelled {
  friend bool operator==(ShareExtensionLoadCancelled, ShareExtensionLoadCancelled) { return true; }
};
using ShareExtensionLoadOutcome =
    std::variant<std::vector<LoadedShareExtensionItem>, ShareExtensionItemLoaderError, ShareExtensionLoadCancelled>;

struct ShareExtensionItemLoader {
  static constexpr std::size_t maximumItemCount = 100;

  platform::Duration representationTimeout = std::chrono::seconds(15);
  ShareExtensionItemReading reader = readLocalShareItem;

  // Loads the attachments in order, each within `timeout`; the first failure ends the load. The
  // completion runs once on the main thread, never inside this call; stopping `stop` ends the load
  // with ShareExtensionLoadCancelled.
  void load(std::vector<ShareExtensionAttachment> attachments, platform::Duration timeout,
            platform::MainQueue& mainQueue, std::stop_token stop,
            std::function<void(ShareExtensionLoadOutcome)> completion) const;
};

}  // namespace tavrel
