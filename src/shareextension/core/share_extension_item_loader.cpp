#include "shareextension/core/share_extension_item_loader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/content_types.h"
#include "platform/logger.h"
#include "platform/posix_files.h"
#include "platform/translatable_text.h"
#include "platform/url.h"
#include "sharehandoff/share_handoff_bookmark.h"

namespace tavrel {
namespace {

using Error = ShareExtensionItemLoaderError;
using Kind = ShareExtensionItemLoaderError::Kind;
using platform::unexpected;

const platform::Logger& logger() {
  static const platform::Logger instance{"com.tavrel.macos.share", "AttachmentLoading"};
  return instance;
}

platform::Unexpected<Error> failure(Kind kind, std::string detail = {}) { return unexpected(Error{kind, std::move(detail)}); }

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The scheme of an absolute URI ("sftp" of "sftp://host/x"), or none for a plain path.
std::optional<std::string> schemeOf(const std::string& location) {
  const auto colon = location.find(':');
  if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(location[0]))) return std::nullopt;
  for (std::size_t index = 1; index < colon; ++index) {
    const auto c = static_cast<unsigned char>(location[index]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
  }
  return lowercased(location.substr(0, colon));
}

// Without a trailing separator: "dir/" would name a link's target rather than the item itself.
std::filesystem::path normalised(const std::filesystem::path& path) {
  auto result = path.lexically_normal();
  if (!result.has_filename() && result != result.root_path()) result = result.parent_path();
  return result;
}

// The state one load keeps between its items.
struct LoadRun {
  std::vector<ShareExtensionAttachment> attachments;
  platform::Duration timeout{};
  ShareExtensionItemReading reader;
  platform::MainQueue* mainQueue = nullptr;
  std::stop_token stop;
  std::function<void(ShareExtensionLoadOutcome)> completion;
  std::vector<LoadedShareExtensionItem> items;
  std::optional<std::stop_callback<std::function<void()>>> cancelCurrent;

  void complete(ShareExtensionLoadOutcome outcome) {
    cancelCurrent.reset();
    if (auto done = std::exchange(completion, nullptr)) done(std::move(outcome));
  }

  static void next(const std::shared_ptr<LoadRun>& run) {
    if (run->stop.stop_requested()) return run->complete(ShareExtensionLoadCancelled{});
    const auto index = run->items.size();
    if (index == run->attachments.size()) return run->complete(std::move(run->items));
    const auto& attachment = run->attachments[index];
    auto path = localPathOfShareLocation(attachment.location);
    if (!path) return run->complete(path.error());
    logger().info("Loading attachment; original file URL: {}", schemeOf(attachment.location).has_value());
    auto request = std::make_shared<ShareExtensionRepresentationRequest>(std::move(*path), attachment.suggestedName);
    // Runs at once when the load was cancelled already; the request then answers Cancelled.
    run->cancelCurrent.emplace(run->stop, [request] { request->cancel(); });
    request->load(*run->mainQueue, run->timeout, run->reader, [run](ShareExtensionRepresentationRequest::Outcome outcome) {
      run->cancelCurrent.reset();
      if (auto* loaded = std::get_if<ShareExtensionRepresentationRequest::Loaded>(&outcome)) {
        run->items.push_back(std::move(loaded->item));
        return next(run);
      }
      if (auto* failed = std::get_if<ShareExtensionRepresentationRequest::Failed>(&outcome)) {
        logger().error("Attachment preparation failed: {}", platform::publicArg(failed->error.localizedDescription()));
        return run->complete(failed->error);
      }
      if (std::holds_alternative<ShareExtensionRepresentationRequest::TimedOut>(outcome)) {
        logger().error("Provider timed out while loading the attachment");
        return run->complete(Error{Kind::providerTimedOut, {}});
      }
      run->complete(ShareExtensionLoadCancelled{});
    });
  }
};

}  // namespace

std::string ShareExtensionItemLoaderError::localizedDescription() const {
  switch (kind) {
    case Kind::noFiles:
      return TAVREL_TRANSLATE_NOOP("Core", "Select at least one local file or folder to send.");
    case Kind::tooManyFiles:
      return TAVREL_TRANSLATE_NOOP("Core", "Tavrel accepts up to 100 items at a time.");
    case Kind::unsupportedItem:
      return TAVREL_TRANSLATE_NOOP("Core", "One or more selected items aren’t local files or folders.");
    case Kind::temporaryRepresentation:
      return TAVREL_TRANSLATE_NOOP("Core", "Save this item locally, then share it from Finder.");
    case Kind::unavailableItem:
      return TAVREL_TRANSLATE_NOOP("Core", "One or more selected items are no longer available.");
    case Kind::providerTimedOut:
      return TAVREL_TRANSLATE_NOOP("Core", "Finder didn’t finish preparing this item. Try sharing it again.");
    case Kind::system:
      return detail;
    case Kind::symbolicLink:
      return platform::fillText(symbolicLinkPattern, {detail});
  }
  return {};
}

platform::Expected<std::filesystem::path, ShareExtensionItemLoaderError> localPathOfShareLocation(
    const std::string& location) {
  if (location.empty() || location.find('\0') != std::string::npos) return failure(Kind::unsupportedItem);
  const auto scheme = schemeOf(location);
  if (!scheme) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(location, error);
    if (error) return failure(Kind::unavailableItem);
    return normalised(absolute);
  }
  if (*scheme == "http" || *scheme == "https" || *scheme == "mailto" || *scheme == "data" || *scheme == "about") {
    return failure(Kind::unsupportedItem);
  }
  if (*scheme != "file") return failure(Kind::temporaryRepresentation);
  // file:///path or file://localhost/path; another host is a remote copy.
  std::string_view rest = std::string_view(location).substr(5);
  if (!rest.starts_with("//")) return failure(Kind::unsupportedItem);
  rest.remove_prefix(2);
  const auto slash = rest.find('/');
  if (slash == std::string_view::npos) return failure(Kind::unsupportedItem);
  const auto host = lowercased(std::string(rest.substr(0, slash)));
  if (!host.empty() && host != "localhost") return failure(Kind::temporaryRepresentation);
  auto path = rest.substr(slash);
  path = path.substr(0, path.find_first_of("?#"));
  const auto decoded = platform::percentDecode(path);
  if (!decoded || decoded->find('\0') != std::string::npos) return failure(Kind::unsupportedItem);
  return normalised(*decoded);
}

platform::Expected<LoadedShareExtensionItem, ShareExtensionItemLoaderError> readLocalShareItem(
    const std::filesystem::path& path, const std::optional<std::string>& suggestedName, std::stop_token) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return failure(Kind::unavailableItem);
    return failure(Kind::system, std::strerror(errno));
  }
  const std::string name = platform::lossyUTF8(
      suggestedName && !suggestedName->empty() ? *suggestedName : path.filename().string());
  // The program never sends a link (nor what it points to): say so here, while the user can still
  // share the original, rather than accept it and fail later.
  if (S_ISLNK(status.st_mode)) return failure(Kind::symbolicLink, name);
  const bool isFolder = S_ISDIR(status.st_mode);
  if (!isFolder && !S_ISREG(status.st_mode)) return failure(Kind::unsupportedItem);
  auto bookmark = makeShareHandoffBookmark(path);
  if (!bookmark) return failure(Kind::unavailableItem);

  LoadedShareExtensionItem item;
  item.sourceURL = bookmark->path;
  item.handoffItem.bookmarkData = bookmark->encoded();
  // The request carries names as text; the bookmark keeps the path's real bytes.
  item.handoffItem.displayName = name.empty() ? platform::lossyUTF8(item.sourceURL.string()) : name;
  item.handoffItem.kind = isFolder ? ShareHandoffItemKind::folder : ShareHandoffItemKind::file;
  item.contentTypeIdentifier = isFolder ? std::optional<std::string>("inode/directory")
                                         : platform::contentTypeForFileName(item.sourceURL.filename().string());
  item.handoffItem.contentTypeIdentifier = item.contentTypeIdentifier;
  if (!isFolder) item.byteCount = static_cast<std::int64_t>(status.st_size);
  return item;
}

ShareExtensionRepresentationRequest::ShareExtensionRepresentationRequest(std::filesystem::path path,
                                                                         std::optional<std::string> suggestedName)
    : path_(std::move(path)), suggestedName_(std::move(suggestedName)) {}

void ShareExtensionRepresentationRequest::load(platform::MainQueue& mainQueue, platform::Duration timeout,
                                               ShareExtensionItemReading reader, Continuation continuation) {
  // A reader stuck on a hung mount holds nobody up; its late answer is ignored.
  work_->start(
      mainQueue, timeout,
      [path = path_, suggestedName = suggestedName_, reader = std::move(reader)](std::stop_token stop) {
        return reader(path, suggestedName, std::move(stop));
      },
      [continuation = std::move(continuation)](platform::TimeLimitedWork<Reading>::Outcome outcome) {
        if (auto* read = std::get_if<Reading>(&outcome)) {
          if (*read) return continuation(Loaded{std::move(**read)});
          return continuation(Failed{read->error()});
        }
        if (std::holds_alternative<platform::WorkTimedOut>(outcome)) return continuation(TimedOut{});
        continuation(Cancelled{});
      });
}

void ShareExtensionRepresentationRequest::cancel() { work_->cancel(); }

void ShareExtensionItemLoader::load(std::vector<ShareExtensionAttachment> attachments, platform::Duration timeout,
                                    platform::MainQueue& mainQueue, std::stop_token stop,
                                    std::function<void(ShareExtensionLoadOutcome)> completion) const {
  logger().info("Loading {} shared attachment(s)", attachments.size());
  auto run = std::make_shared<LoadRun>();
  run->timeout = timeout;
  run->reader = reader;
  run->mainQueue = &mainQueue;
  run->stop = std::move(stop);
  run->completion = std::move(completion);
  if (attachments.empty()) {
    mainQueue.post([run] { run->complete(Error{Kind::noFiles, {}}); });
    return;
  }
  if (attachments.size() > maximumItemCount) {
    mainQueue.post([run] { run->complete(Error{Kind::tooManyFiles, {}}); });
    return;
  }
  run->attachments = std::move(attachments);
  mainQueue.post([run] { LoadRun::next(run); });
}

}  // namespace tavrel
