#pragma once

// A bookmark names one handed-over file: its absolute path with the device, inode and birth time it
// had when it was shared (the birth time tells a new file apart from an old one whose inode it reused;
// it is 0 on file systems that do not keep one). Resolving succeeds only while the path still names that same file, so a file deleted or
// swapped after sharing is refused rather than uploaded. Links are never followed, on either side.
//
// Bytes: "TVBM" and a version byte 1; the device, the inode, the birth time's seconds and its
// nanoseconds as little-endian 64-bit numbers; then the path's bytes (absolute, no NUL).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/expected.h"

namespace tavrel {

struct ShareHandoffBookmark {
  std::filesystem::path path;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t birthSeconds = 0;
  std::uint64_t birthNanoseconds = 0;

  std::vector<std::uint8_t> encoded() const;
  // None for bytes that are not a bookmark (wrong header, short, a relative path or one with NUL).
  static std::optional<ShareHandoffBookmark> decode(const std::vector<std::uint8_t>& bytes);

  friend bool operator==(const ShareHandoffBookmark&, const ShareHandoffBookmark&) = default;
};

// The bookmark of the item at `path` as it is now (not following a link). Fails with the system's
// reason when the item cannot be looked at. Blocking: a hung network mount blocks it.
platform::Expected<ShareHandoffBookmark, std::string> makeShareHandoffBookmark(const std::filesystem::path& path);

struct ResolvedShareHandoffBookmark {
  std::filesystem::path path;
  bool isStale = false;  // the path is gone or names another file now
};

// Fails (with a user-facing text) only for bytes that are not a bookmark.
platform::Expected<ResolvedShareHandoffBookmark, std::string> resolveShareHandoffBookmark(
    const std::vector<std::uint8_t>& bytes);

}  // namespace tavrel
