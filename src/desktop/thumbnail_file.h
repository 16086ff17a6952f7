#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/thumbnail_generating.h"

namespace tavrel::desktop {

// The largest image we decode: 64 megapixels (256 MiB of pixels), no side longer than 32768.
inline constexpr std::int64_t maximumDecodedPixels = std::int64_t{1} << 26;
inline constexpr int maximumDecodedSide = 32768;
// The largest thumbnail side we make; the desktop's biggest shared thumbnails are this size too.
inline constexpr int maximumThumbnailSide = 1024;

// A file opened for thumbnailing: a regular file only, reached without following a final link, and
// opened without blocking, so a FIFO or a device never holds a worker. Everything read afterwards
// comes from this descriptor, so the checked file is the file decoded.
class ThumbnailSourceFile {
 public:
  // None when the path is a link, not a regular file, or cannot be opened.
  static std::optional<ThumbnailSourceFile> open(const std::filesystem::path& file);

  ThumbnailSourceFile(ThumbnailSourceFile&& other) noexcept;
  ThumbnailSourceFile& operator=(ThumbnailSourceFile&&) = delete;
  ThumbnailSourceFile(const ThumbnailSourceFile&) = delete;
  ~ThumbnailSourceFile();

  int descriptor() const { return descriptor_; }
  // Seconds since the epoch, as the shared thumbnail cache records it.
  std::int64_t modificationTime() const { return modificationTime_; }
  // The opened file as a path, for libraries that only open paths themselves.
  std::string descriptorPath() const;

 private:
  ThumbnailSourceFile(int descriptor, std::int64_t modificationTime)
      : descriptor_(descriptor), modificationTime_(modificationTime) {}

  int descriptor_;
  std::int64_t modificationTime_;
};

// The pixel box a request asks for: its size times its scale, rounded up, at most
// maximumThumbnailSide a side. None for an empty or non-finite size.
std::optional<QSize> thumbnailPixelBox(const platform::ThumbnailRequest& request);

// The size the file's header declares, read without decoding pixels. None when the header
// cannot be read or declares no size.
std::optional<QSize> declaredImageSize(const ThumbnailSourceFile& file);

bool withinDecodeBounds(QSize size);

// Decodes the image (turned upright as its metadata says) at no more than about `box`, decoding
// at a reduced size where the format can. Null when it cannot be decoded, or when its declared
// size is unknown or out of bounds: such a file is never decoded.
QImage readBoundedImage(const ThumbnailSourceFile& file, QSize box);

// Scaled down to fit `box` with its proportions kept; never enlarged.
QImage fittedImage(const QImage& image, QSize box);

// The image as tightly packed, straight (not premultiplied) RGBA.
std::shared_ptr<const platform::ThumbnailImage> makeThumbnailImage(const QImage& image);

}  // namespace tavrel::desktop
