#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace tavrel::platform {

// A rendered thumbnail: 8-bit RGBA pixels, row after row without padding. Immutable once made, so
// one image may be shared by the cache and any number of views, on any thread.
struct ThumbnailImage {
  int pixelWidth = 0;
  int pixelHeight = 0;
  std::vector<std::uint8_t> rgba;  // pixelWidth * pixelHeight * 4 bytes

  friend bool operator==(const ThumbnailImage&, const ThumbnailImage&) = default;
};

// One request for a file's thumbnail. Its identity is the object itself: a generator cancels and
// answers a request by identity, and a caller tells its own request from an older one the same way.
//
// Only a real thumbnail of the content is wanted: no file-type icon in its place, no quick
// low-quality version first, and no decoration (frame, page curl) around it.
struct ThumbnailRequest {
  std::filesystem::path file;
  double width = 0;   // in points
  double height = 0;  // in points
  double scale = 1;   // pixels per point of the display
};

// Makes thumbnails of images and video frames.
//
// IMPORTANT: Thread-safety. generate() and cancel() may be called from any thread (the loaders
// call them on the main thread). The completion runs on the generator's own thread, never inside
// generate(), at most once per request: with the image, or with null when the file has no
// thumbnail or generation failed. After cancel() the completion may still run (a result already on
// its way) or not at all; callers drop results of requests they no longer want.
class ThumbnailGenerating {
 public:
  using Completion = std::function<void(std::shared_ptr<const ThumbnailImage>)>;

  virtual ~ThumbnailGenerating() = default;

  virtual void generate(std::shared_ptr<const ThumbnailRequest> request, Completion completion) = 0;
  virtual void cancel(const std::shared_ptr<const ThumbnailRequest>& request) = 0;
};

}  // namespace tavrel::platform
