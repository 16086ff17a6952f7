#include "shareextension/core/share_item_thumbnail_loader.h"

namespace tavrel {

const std::shared_ptr<ThumbnailCache>& ShareItemThumbnailLoader::cache() {
  static const auto shared = std::make_shared<ThumbnailCache>(cacheCountLimit);
  return shared;
}

ShareItemThumbnailLoader::ShareItemThumbnailLoader(platform::MainQueue& mainQueue,
                                                   std::shared_ptr<platform::ThumbnailGenerating> generator,
                                                   std::shared_ptr<ThumbnailCache> cache)
    : mainQueue_(mainQueue), generator_(std::move(generator)), cache_(std::move(cache)) {}

void ShareItemThumbnailLoader::load(const std::filesystem::path& url, ThumbnailSize size, double scale) {
  // The same key as the program's cards: the standardised file URL, then size and scale.
  const std::string key = MediaThumbnailLoader::cacheKey(url, size, scale);
  if (state_->representedKey == key && state_->image.value()) return;
  cancel();
  state_->representedKey = key;
  if (auto cached = cache_->image(key)) {
    state_->image.set(std::move(cached));
    return;
  }
  state_->image.set(nullptr);

  auto request = std::make_shared<const platform::ThumbnailRequest>(platform::ThumbnailRequest{url, size.width, size.height, scale});
  state_->request = request;
  std::weak_ptr<State> weakState = state_;
  auto* mainQueue = &mainQueue_;
  generator_->generate(request, [mainQueue, weakState, request, cache = cache_, key](Image image) {
    mainQueue->post([weakState, request, cache, key, image = std::move(image)]() mutable {
      const auto state = weakState.lock();
      // A cancelled or replaced request: its answer is not ours to show or cache.
      if (!state || state->request != request) return;
      state->request = nullptr;
      if (!image) return;
      cache->store(key, image);
      state->image.set(std::move(image));
    });
  });
}

void ShareItemThumbnailLoader::cancel() {
  if (!state_->request) return;
  generator_->cancel(state_->request);
  state_->request = nullptr;
}

}  // namespace tavrel
