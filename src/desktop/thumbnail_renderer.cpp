#include "desktop/thumbnail_renderer.h"

#include <libffmpegthumbnailer/videothumbnailer.h>

#include <QImage>
#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "desktop/thumbnail_file.h"
#include "platform/content_types.h"

namespace tavrel::desktop {
namespace {

enum class MediaKind { image, video };

std::optional<MediaKind> mediaKind(const std::string& contentType) {
  if (platform::conformsToImage(contentType)) return MediaKind::image;
  if (platform::conformsToMovie(contentType)) return MediaKind::video;
  return std::nullopt;
}

// A frame a tenth of the way in, as the desktop's own video thumbnails show.
QImage readVideoFrame(const ThumbnailSourceFile& file, QSize box) {
  try {
    ffmpegthumbnailer::VideoThumbnailer thumbnailer;
    thumbnailer.setThumbnailSize(std::max(box.width(), box.height()));
    thumbnailer.setMaintainAspectRatio(true);
    thumbnailer.setLogCallback([](ThumbnailerLogLevel, const std::string&) {});
    std::vector<std::uint8_t> png;
    thumbnailer.generateThumbnail(file.descriptorPath(), Png, png);
    QImage frame;
    if (png.empty() || !frame.loadFromData(png.data(), static_cast<int>(png.size()), "PNG")) return {};
    return frame;
  } catch (const std::exception&) {
    // Undecodable or not a video after all.
    return {};
  }
}

}  // namespace

ThumbnailRenderer::ThumbnailRenderer(Options options)
    : options_(options), service_(options.desktopService ? std::make_shared<ThumbnailService>() : nullptr) {}

std::shared_ptr<const platform::ThumbnailImage> ThumbnailRenderer::render(const platform::ThumbnailRequest& request,
                                                                          std::stop_token stop) const {
  const auto box = thumbnailPixelBox(request);
  if (!box || stop.stop_requested()) return nullptr;
  const auto source = ThumbnailSourceFile::open(request.file);
  if (!source) return nullptr;
  const auto contentType = platform::contentTypeForFileName(request.file.filename().string());
  const auto kind = contentType ? mediaKind(*contentType) : std::nullopt;
  if (!kind) return nullptr;
  if (*kind == MediaKind::image) {
    // Also before the service sees it: its decoders may be less careful with a hostile header.
    const auto declared = declaredImageSize(*source);
    if (!declared || !withinDecodeBounds(*declared)) return nullptr;
  }

  QImage image;
  // Videos never go to the service: its video thumbnails come framed as a film strip, and a
  // thumbnail here shows the content alone.
  if (*kind == MediaKind::image && service_ && service_->available()) {
    const std::string mimeType = platform::preferredMimeType(*contentType).value_or(*contentType);
    image = service_->thumbnail(request.file, mimeType, source->modificationTime(), *box, stop);
  }
  if (stop.stop_requested()) return nullptr;
  if (image.isNull() && options_.localDecoders) {
    image = *kind == MediaKind::image ? readBoundedImage(*source, *box) : readVideoFrame(*source, *box);
  }
  if (image.isNull() || stop.stop_requested()) return nullptr;
  return makeThumbnailImage(fittedImage(image, *box));
}

}  // namespace tavrel::desktop
