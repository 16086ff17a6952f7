#pragma once

// Loaded items for the sheet's tests and previews, made without touching the disk.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shareextension/core/share_extension_item_loader.h"

namespace tavrel::testing {

inline LoadedShareExtensionItem sampleFile(const std::string& path, std::optional<std::int64_t> byteCount,
                                           std::optional<std::string> contentType) {
  LoadedShareExtensionItem item;
  item.sourceURL = path;
  item.handoffItem.bookmarkData = {1};
  item.handoffItem.displayName = item.sourceURL.filename().string();
  item.handoffItem.kind = ShareHandoffItemKind::file;
  item.handoffItem.contentTypeIdentifier = contentType;
  item.contentTypeIdentifier = std::move(contentType);
  item.byteCount = byteCount;
  return item;
}

inline LoadedShareExtensionItem sampleFolder(const std::string& path) {
  LoadedShareExtensionItem item = sampleFile(path, std::nullopt, "inode/directory");
  item.handoffItem.kind = ShareHandoffItemKind::folder;
  return item;
}

// A photo, a document and a folder, as a user might share them.
inline std::vector<LoadedShareExtensionItem> sampleItems() {
  return {sampleFile("/home/ada/Pictures/Harbour at dawn.jpeg", 2'480'000, "image/jpeg"),
          sampleFile("/home/ada/Documents/Quarterly report.pdf", 312'400, "application/pdf"),
          sampleFolder("/home/ada/Projects/Launch assets")};
}

}  // namespace tavrel::testing
