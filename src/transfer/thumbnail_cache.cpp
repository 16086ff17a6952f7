#include "transfer/thumbnail_cache.h"

namespace tavrel {

ThumbnailCache::ThumbnailCache(std::size_t countLimit) : countLimit_(countLimit > 0 ? countLimit : 1) {}

const std::shared_ptr<ThumbnailCache>& ThumbnailCache::shared() {
  static const auto cache = std::make_shared<ThumbnailCache>();
  return cache;
}

std::shared_ptr<const platform::ThumbnailImage> ThumbnailCache::image(const std::string& key) {
  std::lock_guard lock(mutex_);
  const auto found = index_.find(key);
  if (found == index_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return found->second->second;
}

void ThumbnailCache::store(const std::string& key, std::shared_ptr<const platform::ThumbnailImage> image) {
  if (!image) return;
  std::lock_guard lock(mutex_);
  if (const auto found = index_.find(key); found != index_.end()) {
    found->second->second = std::move(image);
    entries_.splice(entries_.begin(), entries_, found->second);
    return;
  }
  entries_.emplace_front(key, std::move(image));
  index_.emplace(key, entries_.begin());
  while (entries_.size() > countLimit_) {
    index_.erase(entries_.back().first);
    entries_.pop_back();
  }
}

std::size_t ThumbnailCache::count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace tavrel
