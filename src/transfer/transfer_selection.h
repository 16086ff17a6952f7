#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

enum class TransferItemKind { file, folder };

// Which kind of thumbnail an item may get.
enum class TransferPreviewKind { image, video, none };

// The preview kind of one item: a folder has none; otherwise the given content type, or the type
// the extension alone gives, decides (image, else movie, else none).
TransferPreviewKind transferPreviewKind(const std::optional<std::string>& contentType,
                                        std::string_view pathExtension, bool isDirectory);

// One chosen top-level file or folder. Local files are plain absolute paths; `url` is the
// standardised path and also the item's identity.
struct SelectedTransferItem {
  std::filesystem::path url;
  std::string displayName;
  TransferItemKind kind = TransferItemKind::file;
  TransferPreviewKind previewKind = TransferPreviewKind::none;
  std::int64_t size = 0;  // 0 for a folder

  const std::filesystem::path& id() const { return url; }

  friend bool operator==(const SelectedTransferItem&, const SelectedTransferItem&) = default;
};

// The standardised form of a local path: "." and ".." resolved lexically (links are not followed)
// and no trailing separator, so "/a/../a/x.txt" and "/a/x.txt" are one item.
std::filesystem::path standardizedFilePath(const std::filesystem::path& path);

// The chosen items, in the order they were chosen; no two share a path.
struct TransferSelection {
  std::vector<SelectedTransferItem> items;

  // A selection of the given paths, or none when they are unusable: an empty list, a relative
  // path, or any path where nothing exists voids the whole list. Repeated paths keep their first
  // occurrence. Given `missing`, such paths go there instead and the rest are selected.
  static std::optional<TransferSelection> fromURLs(const std::vector<std::filesystem::path>& urls,
                                                   std::vector<std::filesystem::path>* missing = nullptr);

  // These items followed by the other selection's items whose path is not yet present.
  TransferSelection merging(const TransferSelection& other) const;

  // "1 file", "3 folders", "12 items", "1.5K files".
  std::string summaryText() const;

  friend bool operator==(const TransferSelection&, const TransferSelection&) = default;
};

}  // namespace tavrel
