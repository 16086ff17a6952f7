#include "transfer/transfer_selection.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "platform/content_types.h"
#include "platform/posix_files.h"
#include "transfer/formatting.h"

namespace tavrel {

TransferPreviewKind transferPreviewKind(const std::optional<std::string>& contentType,
                                        std::string_view pathExtension, bool isDirectory) {
  if (isDirectory) return TransferPreviewKind::none;
  std::optional<std::string> type = contentType;
  if (!type) type = platform::contentTypeForPathExtension(pathExtension);
  if (!type) return TransferPreviewKind::none;
  if (platform::conformsToImage(*type)) return TransferPreviewKind::image;
  if (platform::conformsToMovie(*type)) return TransferPreviewKind::video;
  return TransferPreviewKind::none;
}

std::filesystem::path standardizedFilePath(const std::filesystem::path& path) {
  std::filesystem::path normal = path.lexically_normal();
  std::string text = normal.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return std::filesystem::path(text);
}

std::optional<TransferSelection> TransferSelection::fromURLs(const std::vector<std::filesystem::path>& urls,
                                                           std::vector<std::filesystem::path>* missing) {
  if (urls.empty()) return std::nullopt;
  if (!missing && !std::ranges::all_of(urls, [](const auto& url) { return url.is_absolute(); })) return std::nullopt;

  TransferSelection selection;
  std::set<std::filesystem::path> taken;
  for (const auto& url : urls) {
    if (!url.is_absolute()) {
      missing->push_back(url);
      continue;
    }
    std::filesystem::path path = standardizedFilePath(url);
    if (!taken.insert(path).second) continue;

    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) {
      if (!missing) return std::nullopt;
      missing->push_back(url);
      continue;
    }
    const bool isDirectory = std::filesystem::is_directory(status);

    SelectedTransferItem item;
    item.url = path;
    item.displayName = platform::lossyUTF8(path.filename().string());
    if (item.displayName.empty()) item.displayName = "Untitled";
    item.kind = isDirectory ? TransferItemKind::folder : TransferItemKind::file;

    // Unreadable metadata is not an error: the item just has no type and no size.
    const std::optional<std::string> contentType = platform::contentTypeOfItem(path);
    item.previewKind = transferPreviewKind(contentType, platform::pathExtension(item.displayName), isDirectory);
    if (!isDirectory) {
      const auto size = std::filesystem::file_size(path, error);
      item.size = error ? 0 : static_cast<std::int64_t>(size);
    }
    selection.items.push_back(std::move(item));
  }
  if (selection.items.empty()) return std::nullopt;
  return selection;
}

TransferSelection TransferSelection::merging(const TransferSelection& other) const {
  TransferSelection merged = *this;
  std::set<std::filesystem::path> present;
  for (const auto& item : items) present.insert(item.url);
  for (const auto& item : other.items) {
    if (present.insert(item.url).second) merged.items.push_back(item);
  }
  return merged;
}

std::string TransferSelection::summaryText() const {
  const auto count = static_cast<std::int64_t>(items.size());
  bool allFiles = true;
  bool allFolders = true;
  for (const auto& item : items) {
    if (item.kind == TransferItemKind::file) allFolders = false;
    else allFiles = false;
  }
  const bool singular = count == 1;
  std::string noun;
  if (allFiles) noun = singular ? "file" : "files";
  else if (allFolders) noun = singular ? "folder" : "folders";
  else noun = singular ? "item" : "items";
  return formatCompactCount(count, true) + " " + noun;
}

}  // namespace tavrel
