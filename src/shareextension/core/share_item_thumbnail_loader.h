#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/main_queue.h"
#include "platform/observable.h"
#include "platform/thumbnail_generating.h"
#include "transfer/media_thumbnail_loader.h"
#include "transfer/thumbnail_cache.h"

namespace tavrel {

// Gives one row of the share sheet the thumbnail of its file. The loading itself is the program's
// card loader, the same keys and the same dropping of stale answers; the share program only brings
// its own cache and the row's size. While `image` is empty the row shows the file's icon.
//
// There is no per-file access to hold on this system: a request needs nothing but the path.
//
// IMPORTANT: Thread-safety. Main thread only; the generator answers on its own thread and the answer
// comes back through the main queue.
class ShareItemThumbnailLoader {
 public:
  using Image = MediaThumbnailLoader::Image;

  // The size rows ask for, in points.
  static constexpr ThumbnailSize rowSize{40, 40};
  static constexpr std::size_t cacheCountLimit = 100;

  // The one cache of the share program, made on first use.
  static const std::shared_ptr<ThumbnailCache>& cache();
  static std::string cacheKey(const std::filesystem::path& url, ThumbnailSize size, double scale) {
    return MediaThumbnailLoader::cacheKey(url, size, scale);
  }

  ShareItemThumbnailLoader(platform::MainQueue& mainQueue, std::shared_ptr<platform::ThumbnailGenerating> generator,
                           std::shared_ptr<ThumbnailCache> cache = ShareItemThumbnailLoader::cache())
      : loader_(mainQueue, std::move(generator), std::move(cache)) {}

  void load(const std::filesystem::path& url, ThumbnailSize size, double scale) { loader_.load(url, size, scale); }
  void cancel() { loader_.cancel(); }

  const Image& image() const { return loader_.image().value(); }
  [[nodiscard]] platform::Subscription subscribe(std::function<void(const Image&)> observer) const {
    return loader_.image().subscribe(std::move(observer));
  }
  bool hasRequestInFlight() const { return loader_.hasRequestInFlight(); }
  const std::optional<std::string>& representedKey() const { return loader_.representedKey(); }

 private:
  MediaThumbnailLoader loader_;
};

}  // namespace tavrel
