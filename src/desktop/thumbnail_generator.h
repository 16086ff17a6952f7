#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/thumbnail_generating.h"

namespace tavrel::desktop {

// The program's thumbnail generator: requests wait in one queue and are rendered, oldest first, by
// a few worker threads of its own, which also run the completions.
//
// IMPORTANT: Thread-safety. As ThumbnailGenerating says: generate() and cancel() from any thread;
// completions on a worker, never inside generate(), at most once. A cancelled request still
// waiting is dropped without an answer; one being rendered is told to stop and gets no answer
// either, unless its answer was already on its way. The destructor stops every request and waits
// for the workers (all but the calling one, should a completion drop the last owner).
class ThumbnailGenerator final : public platform::ThumbnailGenerating {
 public:
  // Renders one request, blocking; gives up with null once its token is stopped.
  using Renderer = std::function<std::shared_ptr<const platform::ThumbnailImage>(
      const platform::ThumbnailRequest&, std::stop_token)>;

  explicit ThumbnailGenerator(Renderer renderer, int workerCount = 2);
  ~ThumbnailGenerator() override;
  ThumbnailGenerator(const ThumbnailGenerator&) = delete;
  ThumbnailGenerator& operator=(const ThumbnailGenerator&) = delete;

  // The live generator: the desktop's thumbnail service, else our own decoders.
  static std::shared_ptr<ThumbnailGenerator> makeLive();

  void generate(std::shared_ptr<const platform::ThumbnailRequest> request, Completion completion) override;
  void cancel(const std::shared_ptr<const platform::ThumbnailRequest>& request) override;

 private:
  struct Shared;

  std::shared_ptr<Shared> shared_;
  std::vector<std::jthread> workers_;
};

}  // namespace tavrel::desktop
