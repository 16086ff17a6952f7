#include "desktop/thumbnail_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace tavrel::desktop {
namespace {

// A reader over the opened file from its first byte. The device must outlive the reader.
bool openFromStart(const ThumbnailSourceFile& file, QFile& device) {
  if (::lseek(file.descriptor(), 0, SEEK_SET) != 0) return false;
  return device.open(file.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle);
}

// `size` fitted into `box` with its proportions kept, at least one pixel a side.
QSize fittedSize(QSize size, QSize box) {
  const double factor = std::min(double(box.width()) / size.width(), double(box.height()) / size.height());
  return {std::max(1, int(std::lround(size.width() * factor))), std::max(1, int(std::lround(size.height() * factor)))};
}

}  // namespace

std::optional<ThumbnailSourceFile> ThumbnailSourceFile::open(const std::filesystem::path& file) {
  struct stat before {};
  if (::lstat(file.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return std::nullopt;
  // Without blocking: should a FIFO be swapped in after the check, opening it must not wait for a writer.
  const int descriptor = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return std::nullopt;
  struct stat opened {};
  if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != before.st_dev ||
      opened.st_ino != before.st_ino) {
    ::close(descriptor);
    return std::nullopt;
  }
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(descriptor);
    return std::nullopt;
  }
  return ThumbnailSourceFile(descriptor, static_cast<std::int64_t>(opened.st_mtim.tv_sec));
}

ThumbnailSourceFile::ThumbnailSourceFile(ThumbnailSourceFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), modificationTime_(other.modificationTime_) {}

ThumbnailSourceFile::~ThumbnailSourceFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

std::string ThumbnailSourceFile::descriptorPath() const { return "/proc/self/fd/" + std::to_string(descriptor_); }

std::optional<QSize> thumbnailPixelBox(const platform::ThumbnailRequest& request) {
  const double width = request.width * request.scale;
  const double height = request.height * request.scale;
  if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0) return std::nullopt;
  const auto side = [](double value) { return int(std::clamp(std::ceil(value), 1.0, double(maximumThumbnailSide))); };
  return QSize(side(width), side(height));
}

std::optional<QSize> declaredImageSize(const ThumbnailSourceFile& file) {
  QFile device;
  if (!openFromStart(file, device)) return std::nullopt;
  QImageReader reader(&device);
  const QSize size = reader.size();
  if (!size.isValid() || size.isEmpty()) return std::nullopt;
  return size;
}

bool withinDecodeBounds(QSize size) {
  return size.width() > 0 && size.height() > 0 && size.width() <= maximumDecodedSide &&
         size.height() <= maximumDecodedSide && std::int64_t{size.width()} * size.height() <= maximumDecodedPixels;
}

QImage readBoundedImage(const ThumbnailSourceFile& file, QSize box) {
  if (box.isEmpty()) return {};
  QFile device;
  if (!openFromStart(file, device)) return {};
  QImageReader reader(&device);
  reader.setAutoTransform(true);
  const QSize declared = reader.size();
  if (!declared.isValid() || !withinDecodeBounds(declared)) return {};
  // The scaled size applies before the image is turned upright.
  QSize storedBox = box;
  if (reader.transformation() & QImageIOHandler::TransformationRotate90) storedBox.transpose();
  if (reader.supportsOption(QImageIOHandler::ScaledSize) &&
      (declared.width() > storedBox.width() || declared.height() > storedBox.height())) {
    reader.setScaledSize(fittedSize(declared, storedBox));
  }
  return reader.read();
}

QImage fittedImage(const QImage& image, QSize box) {
  if (image.isNull() || box.isEmpty()) return {};
  if (image.width() <= box.width() && image.height() <= box.height()) return image;
  return image.scaled(fittedSize(image.size(), box), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

std::shared_ptr<const platform::ThumbnailImage> makeThumbnailImage(const QImage& image) {
  if (image.isNull()) return nullptr;
  const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
  if (rgba.isNull()) return nullptr;
  auto thumbnail = std::make_shared<platform::ThumbnailImage>();
  thumbnail->pixelWidth = rgba.width();
  thumbnail->pixelHeight = rgba.height();
  const auto rowBytes = static_cast<std::size_t>(rgba.width()) * 4;
  thumbnail->rgba.resize(rowBytes * static_cast<std::size_t>(rgba.height()));
  for (int row = 0; row < rgba.height(); ++row) {
    std::memcpy(thumbnail->rgba.data() + rowBytes * static_cast<std::size_t>(row), rgba.constScanLine(row), rowBytes);
  }
  return thumbnail;
}

}  // namespace tavrel::desktop
