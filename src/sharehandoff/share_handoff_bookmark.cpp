#include "sharehandoff/share_handoff_bookmark.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace tavrel {
namespace {

constexpr std::uint8_t header[] = {'T', 'V', 'B', 'M', 1};
constexpr std::size_t headerSize = sizeof(header);
constexpr std::size_t fixedSize = headerSize + 16;

void appendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint64_t readLittleEndian(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int index = 7; index >= 0; --index) value = (value << 8) | bytes[index];
  return value;
}

}  // namespace

std::vector<std::uint8_t> ShareHandoffBookmark::encoded() const {
  std::vector<std::uint8_t> bytes(std::begin(header), std::end(header));
  appendLittleEndian(bytes, device);
  appendLittleEndian(bytes, inode);
  const std::string text = path.string();
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

std::optional<ShareHandoffBookmark> ShareHandoffBookmark::decode(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() <= fixedSize || !std::equal(std::begin(header), std::end(header), bytes.begin())) return std::nullopt;
  const std::string text(bytes.begin() + fixedSize, bytes.end());
  if (text.front() != '/' || text.find('\0') != std::string::npos) return std::nullopt;
  return ShareHandoffBookmark{text, readLittleEndian(bytes.data() + headerSize),
                              readLittleEndian(bytes.data() + headerSize + 8)};
}

platform::Expected<ShareHandoffBookmark, std::string> makeShareHandoffBookmark(const std::filesystem::path& path) {
  const auto absolute = path.lexically_normal();
  if (!absolute.is_absolute()) return platform::unexpected(std::string("not an absolute path"));
  struct stat status {};
  if (::lstat(absolute.c_str(), &status) != 0) return platform::unexpected(std::string(std::strerror(errno)));
  return ShareHandoffBookmark{absolute, static_cast<std::uint64_t>(status.st_dev),
                              static_cast<std::uint64_t>(status.st_ino)};
}

platform::Expected<ResolvedShareHandoffBookmark, std::string> resolveShareHandoffBookmark(
    const std::vector<std::uint8_t>& bytes) {
  const auto bookmark = ShareHandoffBookmark::decode(bytes);
  if (!bookmark) return platform::unexpected(std::string("The shared item’s bookmark could not be read."));
  struct stat status {};
  const bool same = ::lstat(bookmark->path.c_str(), &status) == 0 &&
                    static_cast<std::uint64_t>(status.st_dev) == bookmark->device &&
                    static_cast<std::uint64_t>(status.st_ino) == bookmark->inode;
  return ResolvedShareHandoffBookmark{bookmark->path, !same};
}

}  // namespace tavrel
