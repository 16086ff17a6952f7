#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/thumbnail_generating.h"

namespace tavrel::testing {

// Keeps every request until the test answers it. Answers arrive from a thread of their own, as a
// real generator's do.
class FakeThumbnailGenerator final : public platform::ThumbnailGenerating {
 public:
  struct Pending {
    std::shared_ptr<const platform::ThumbnailRequest> request;
    Completion completion;
  };

  void generate(std::shared_ptr<const platform::ThumbnailRequest> request, Completion completion) override;
  void cancel(const std::shared_ptr<const platform::ThumbnailRequest>& request) override;

  // Every request made so far, answered or not, in order.
  std::vector<std::shared_ptr<const platform::ThumbnailRequest>> requests() const;
  std::vector<std::shared_ptr<const platform::ThumbnailRequest>> cancelled() const;

  // Every request made so far, cancelled or not, that has no answer yet.
  std::vector<std::shared_ptr<const platform::ThumbnailRequest>> unanswered() const;

  // Answers the request with `image` (null for "no thumbnail") even if it was cancelled, the way a
  // result already on its way still arrives. Returns once the completion has run.
  void answer(const std::shared_ptr<const platform::ThumbnailRequest>& request,
              std::shared_ptr<const platform::ThumbnailImage> image);

 private:
  mutable std::mutex mutex_;
  std::vector<Pending> pending_;
  std::vector<std::shared_ptr<const platform::ThumbnailRequest>> requests_;
  std::vector<std::shared_ptr<const platform::ThumbnailRequest>> cancelled_;
};

// A small solid image, distinct per `shade`.
std::shared_ptr<const platform::ThumbnailImage> makeThumbnailImage(std::uint8_t shade);
// A soft dusk gradient over a sea, `pixelHeight` high and half as wide again, standing in for a
// photo's thumbnail where people look at it.
std::shared_ptr<const platform::ThumbnailImage> makeSamplePhoto(int pixelHeight);

}  // namespace tavrel::testing
