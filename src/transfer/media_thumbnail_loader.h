#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/main_queue.h"
#include "platform/observable.h"
#include "platform/thumbnail_generating.h"
#include "transfer/thumbnail_cache.h"

namespace tavrel {

// A size in points.
struct ThumbnailSize {
  double width = 0;
  double height = 0;

  friend bool operator==(const ThumbnailSize&, const ThumbnailSize&) = default;
};

// Gives one item card (or one row of the share sheet, through its own cache) the thumbnail of a
// selected file. Never fails visibly: without a thumbnail `image` stays empty and the card shows
// its placeholder.
//
// IMPORTANT: Thread-safety. Use a loader on the main thread only. The generator answers on its own
// thread; the answer reaches the loader through the main queue and is dropped when the loader is
// gone or has moved on to another request (cancelled or replaced): such a result is neither shown
// nor cached.
class MediaThumbnailLoader {
 public:
  using Image = std::shared_ptr<const platform::ThumbnailImage>;

  MediaThumbnailLoader(platform::MainQueue& mainQueue, std::shared_ptr<platform::ThumbnailGenerating> generator,
                       std::shared_ptr<ThumbnailCache> cache = ThumbnailCache::shared());
  MediaThumbnailLoader(const MediaThumbnailLoader&) = delete;
  MediaThumbnailLoader& operator=(const MediaThumbnailLoader&) = delete;

  // Shows the thumbnail of `file` at `size` and `scale`, from the cache when it holds one, else
  // through a new request (replacing one in flight). Does nothing when that image already shows.
  void load(const std::filesystem::path& file, ThumbnailSize size, double scale);
  // Cancels the request in flight, if any. The image and the key stay, so loading the same key
  // again while no image shows asks anew.
  void cancel();

  // The absolute file URL of the file's standardised path, "|", then "<width>x<height>@<scale>",
  // each with two decimals: "file:///a/b.jpg|90.00x90.00@2.00".
  static std::string cacheKey(const std::filesystem::path& file, ThumbnailSize size, double scale);

  const platform::Observable<Image>& image() const { return state_->image; }
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
