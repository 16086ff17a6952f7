#include "shareextension/core/share_item_thumbnail_loader.h"

namespace tavrel {

const std::shared_ptr<ThumbnailCache>& ShareItemThumbnailLoader::cache() {
  static const auto shared = std::make_shared<ThumbnailCache>(cacheCountLimit);
  return shared;
}

}  // namespace tavrel
