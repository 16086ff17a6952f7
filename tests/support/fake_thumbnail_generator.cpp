#include "support/fake_thumbnail_generator.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace tavrel::testing {

void FakeThumbnailGenerator::generate(std::shared_ptr<const platform::ThumbnailRequest> request,
                                      Completion completion) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
  pending_.push_back({std::move(request), std::move(completion)});
}

void FakeThumbnailGenerator::cancel(const std::shared_ptr<const platform::ThumbnailRequest>& request) {
  std::lock_guard lock(mutex_);
  cancelled_.push_back(request);
}

std::vector<std::shared_ptr<const platform::ThumbnailRequest>> FakeThumbnailGenerator::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::shared_ptr<const platform::ThumbnailRequest>> FakeThumbnailGenerator::cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

std::vector<std::shared_ptr<const platform::ThumbnailRequest>> FakeThumbnailGenerator::unanswered() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<const platform::ThumbnailRequest>> requests;
  for (const auto& pending : pending_) requests.push_back(pending.request);
  return requests;
}

void FakeThumbnailGenerator::answer(const std::shared_ptr<const platform::ThumbnailRequest>& request,
                                    std::shared_ptr<const platform::ThumbnailImage> image) {
  Completion completion;
  {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(pending_.begin(), pending_.end(),
                                    [&](const Pending& pending) { return pending.request == request; });
    if (found == pending_.end()) throw std::logic_error("no such thumbnail request, or answered already");
    completion = std::move(found->completion);
    pending_.erase(found);
  }
  std::thread generatorThread([&] { completion(std::move(image)); });
  generatorThread.join();
}

std::shared_ptr<const platform::ThumbnailImage> makeThumbnailImage(std::uint8_t shade) {
  auto image = std::make_shared<platform::ThumbnailImage>();
  image->pixelWidth = 2;
  image->pixelHeight = 2;
  image->rgba.assign(2 * 2 * 4, shade);
  return image;
}

std::shared_ptr<const platform::ThumbnailImage> makeSamplePhoto(int pixelHeight) {
  auto image = std::make_shared<platform::ThumbnailImage>();
  image->pixelWidth = pixelHeight * 3 / 2;
  image->pixelHeight = pixelHeight;
  image->rgba.reserve(static_cast<std::size_t>(image->pixelWidth * image->pixelHeight * 4));
  for (int y = 0; y < image->pixelHeight; ++y) {
    for (int x = 0; x < image->pixelWidth; ++x) {
      const double t = static_cast<double>(y) / image->pixelHeight;
      const bool sea = t > 0.62;
      image->rgba.push_back(static_cast<std::uint8_t>(sea ? 30 + 40 * t : 250 - 90 * t));
      image->rgba.push_back(static_cast<std::uint8_t>(sea ? 80 + 60 * t : 150 - 40 * t + x % 3));
      image->rgba.push_back(static_cast<std::uint8_t>(sea ? 140 + 50 * t : 90 + 120 * t));
      image->rgba.push_back(255);
    }
  }
  return image;
}

}  // namespace tavrel::testing
