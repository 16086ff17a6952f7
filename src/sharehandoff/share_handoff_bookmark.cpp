#include "sharehandoff/share_handoff_bookmark.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/translatable_text.h"

namespace tavrel {
namespace {

constexpr std::uint8_t header[] = {'T', 'V', 'B', 'M', 1};
constexpr std::size_t headerSize = sizeof(header);
constexpr std::size_t fixedSize = headerSize + 32;

void appendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint64_t readLittleEndian(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int index = 7; index >= 0; --index) value = (value << 8) | bytes[index];
  return value;
}

// The identity of the item at `path` now, not following a link; false when there is none.
bool identify(const std::filesystem::path& path, ShareHandoffBookmark& bookmark) {
  struct statx status {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &status) != 0) return false;
  bookmark.device = (static_cast<std::uint64_t>(status.stx_dev_major) << 32) | status.stx_dev_minor;
  bookmark.inode = status.stx_ino;
  const bool hasBirth = (status.stx_mask & STATX_BTIME) != 0;
  bookmark.birthSeconds = hasBirth ? static_cast<std::uint64_t>(status.stx_btime.tv_sec) : 0;
  bookmark.birthNanoseconds = hasBirth ? status.stx_btime.tv_nsec : 0;
  return true;
}

}  // namespace

std::vector<std::uint8_t> ShareHandoffBookmark::encoded() const {
  std::vector<std::uint8_t> bytes(std::begin(header), std::end(header));
  appendLittleEndian(bytes, device);
  appendLittleEndian(bytes, inode);
  appendLittleEndian(bytes, birthSeconds);
  appendLittleEndian(bytes, birthNanoseconds);
  const std::string text = path.string();
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

std::optional<ShareHandoffBookmark> ShareHandoffBookmark::decode(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() <= fixedSize || !std::equal(std::begin(header), std::end(header), bytes.begin())) return std::nullopt;
  const std::string text(bytes.begin() + fixedSize, bytes.end());
  if (text.front() != '/' || text.find('\0') != std::string::npos) return std::nullopt;
  const auto* numbers = bytes.data() + headerSize;
  return ShareHandoffBookmark{text, readLittleEndian(numbers), readLittleEndian(numbers + 8),
                              readLittleEndian(numbers + 16), readLittleEndian(numbers + 24)};
}

platform::Expected<ShareHandoffBookmark, std::string> makeShareHandoffBookmark(const std::filesystem::path& path) {
  auto absolute = path.lexically_normal();
  // "dir/" would name what a link called "dir" points to; the item is "dir" itself.
  if (absolute.has_parent_path() && !absolute.has_filename() && absolute != absolute.root_path()) {
    absolute = absolute.parent_path();
  }
  if (!absolute.is_absolute()) return platform::unexpected(std::string("not an absolute path"));
  ShareHandoffBookmark bookmark{absolute};
  if (!identify(absolute, bookmark)) return platform::unexpected(std::string(std::strerror(errno)));
  return bookmark;
}

platform::Expected<ResolvedShareHandoffBookmark, std::string> resolveShareHandoffBookmark(
    const std::vector<std::uint8_t>& bytes) {
  const auto bookmark = ShareHandoffBookmark::decode(bytes);
  if (!bookmark) {
    return platform::unexpected(
        std::string(TAVREL_TRANSLATE_NOOP("Core", "The shared item’s bookmark could not be read.")));
  }
  ShareHandoffBookmark now{bookmark->path};
  const bool same = identify(bookmark->path, now) && now == *bookmark;
  return ResolvedShareHandoffBookmark{bookmark->path, !same};
}

}  // namespace tavrel
