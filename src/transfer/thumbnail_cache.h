#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/thumbnail_generating.h"

namespace tavrel {

// Thumbnails already rendered, by cache key, so that one file at one size and scale is rendered
// once for every card that shows it. Holds at most `countLimit` images and evicts the least
// recently used on its own; nobody removes entries explicitly.
//
// IMPORTANT: Thread-safety. Every member may be called from any thread.
class ThumbnailCache {
 public:
  explicit ThumbnailCache(std::size_t countLimit = 128);

  // The one cache of the process, made on first use.
  static const std::shared_ptr<ThumbnailCache>& shared();

  std::shared_ptr<const platform::ThumbnailImage> image(const std::string& key);
  void store(const std::string& key, std::shared_ptr<const platform::ThumbnailImage> image);
  std::size_t count() const;

 private:
  using Entry = std::pair<std::string, std::shared_ptr<const platform::ThumbnailImage>>;

  const std::size_t countLimit_;
  mutable std::mutex mutex_;
  std::list<Entry> entries_;  // most recently used first
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

}  // namespace tavrel
