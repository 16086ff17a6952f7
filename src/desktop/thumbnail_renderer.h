#pragma once

#include <memory>
#include <stop_token>

#include "desktop/thumbnail_service.h"
#include "platform/thumbnail_generating.h"

namespace tavrel::desktop {

// Renders one thumbnail, blocking. Images come from the desktop's thumbnail service where the
// session has one, else (or when the service has none for the file) from our own decoding; a
// video's frame is always taken here, since the service frames its video thumbnails as a film
// strip. Only regular files are read, never through a final link; image files whose declared
// size is out of bounds are refused before anything decodes them, we or the service.
//
// IMPORTANT: Thread-safety. render() may run on several threads at once; it blocks and belongs on
// a worker thread.
class ThumbnailRenderer {
 public:
  struct Options {
    bool desktopService = true;  // ask the session's thumbnail service first, for images
    bool localDecoders = true;   // decode here when the service is absent or has nothing
  };

  explicit ThumbnailRenderer(Options options);

  // Null when the file has no thumbnail, the request is empty, or `stop` was requested.
  std::shared_ptr<const platform::ThumbnailImage> render(const platform::ThumbnailRequest& request,
                                                         std::stop_token stop) const;

 private:
  Options options_;
  std::shared_ptr<ThumbnailService> service_;
};

}  // namespace tavrel::desktop
