#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/main_queue.h"
#include "platform/observable.h"
#include "platform/thumbnail_generating.h"
#include "transfer/media_thumbnail_loader.h"
#include "transfer/thumbnail_cache.h"

namespace tavrel {

// Gives one row of the share sheet the thumbnail of its file: from the share program's own cache
// when it holds one, else from the generator at the row's size and display scale. Answers for a
// request the loader no longer waits for (cancelled or replaced) are dropped, neither shown nor
// cached. While `image` is empty the row shows the file's icon.
//
// There is no per-file access to hold on this system: a request needs nothing but the path.
//
// IMPORTANT: Thread-safety. Main thread only; the generator answers on its own thread and the answer
// comes back through the main queue.
class ShareItemThumbnailLoader {
 public:
  using Image = std::shared_ptr<const platform::ThumbnailImage>;

  // The size rows ask for, in points.
  static constexpr ThumbnailSize rowSize{40, 40};
  static constexpr std::size_t cacheCountLimit = 100;

  // The one cache of the share program, made on first use.
  static const std::shared_ptr<ThumbnailCache>& cache();

  ShareItemThumbnailLoader(platform::MainQueue& mainQueue, std::shared_ptr<platform::ThumbnailGenerating> generator,
                           std::shared_ptr<ThumbnailCache> cache = ShareItemThumbnailLoader::cache());
  ShareItemThumbnailLoader(const ShareItemThumbnailLoader&) = delete;
  ShareItemThumbnailLoader& operator=(const ShareItemThumbnailLoader&) = delete;

  // Shows the file's thumbnail at `size` and `scale`; does nothing when exactly that one already
  // shows. A cache miss clears the image (the row falls back to its icon) and asks the generator,
  // replacing a request in flight.
  void load(const std::filesystem::path& url, ThumbnailSize size, double scale);
  // Stops waiting for the request in flight; the image and the key stay, so loading the same key
  // while no image shows asks again.
  void cancel();

  const Image& image() const { return state_->image.value(); }
  [[nodiscard]] platform::Subscription subscribe(std::function<void(const Image&)> observer) {
    return state_->image.subscribe(std::move(observer));
  }
  bool hasRequestInFlight() const { return state_->request != nullptr; }
  const std::optional<std::string>& representedKey() const { return state_->representedKey; }

 private:
  // Shared with the answers on their way, which hold it weakly.
  struct State {
    platform::Observable<Image> image{nullptr};
    std::shared_ptr<const platform::ThumbnailRequest> request;
    std::optional<std::string> representedKey;
  };

  platform::MainQueue& mainQueue_;
  std::shared_ptr<platform::ThumbnailGenerating> generator_;
  std::shared_ptr<ThumbnailCache> cache_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tavrel
