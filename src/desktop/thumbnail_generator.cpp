#include "desktop/thumbnail_generator.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "desktop/thumbnail_renderer.h"

namespace tavrel::desktop {

// Held by the workers too, so a worker still running a completion outlives a generator that the
// completion itself let go.
struct ThumbnailGenerator::Shared {
  struct Job {
    std::shared_ptr<const platform::ThumbnailRequest> request;
    Completion completion;
    std::stop_source stop;
  };

  explicit Shared(Renderer renderer) : render(std::move(renderer)) {}

  const Renderer render;
  std::mutex mutex;
  std::condition_variable_any wake;
  std::deque<std::shared_ptr<Job>> waiting;
  std::vector<std::shared_ptr<Job>> rendering;

  void work(std::stop_token workerStop) {
    while (true) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock lock(mutex);
        if (!wake.wait(lock, workerStop, [this] { return !waiting.empty(); })) return;
        job = std::move(waiting.front());
        waiting.pop_front();
        rendering.push_back(job);
      }
      auto image = render(*job->request, job->stop.get_token());
      {
        std::lock_guard lock(mutex);
        rendering.erase(std::find(rendering.begin(), rendering.end(), job));
        if (job->stop.stop_requested()) continue;
      }
      job->completion(std::move(image));
    }
  }
};

ThumbnailGenerator::ThumbnailGenerator(Renderer renderer, int workerCount)
    : shared_(std::make_shared<Shared>(std::move(renderer))) {
  for (int index = 0; index < std::max(1, workerCount); ++index) {
    workers_.emplace_back([shared = shared_](std::stop_token stop) { shared->work(stop); });
  }
}

ThumbnailGenerator::~ThumbnailGenerator() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->waiting.clear();
    for (const auto& job : shared_->rendering) job->stop.request_stop();
  }
  for (auto& worker : workers_) {
    worker.request_stop();
    if (worker.get_id() == std::this_thread::get_id()) worker.detach();
  }
  workers_.clear();  // joins the others
}

std::shared_ptr<ThumbnailGenerator> ThumbnailGenerator::makeLive() {
  auto renderer = std::make_shared<ThumbnailRenderer>(ThumbnailRenderer::Options{});
  return std::make_shared<ThumbnailGenerator>(
      [renderer](const platform::ThumbnailRequest& request, std::stop_token stop) {
        return renderer->render(request, std::move(stop));
      });
}

void ThumbnailGenerator::generate(std::shared_ptr<const platform::ThumbnailRequest> request, Completion completion) {
  if (!request || !completion) return;
  auto job = std::make_shared<Shared::Job>(Shared::Job{std::move(request), std::move(completion), {}});
  {
    std::lock_guard lock(shared_->mutex);
    shared_->waiting.push_back(std::move(job));
  }
  shared_->wake.notify_one();
}

void ThumbnailGenerator::cancel(const std::shared_ptr<const platform::ThumbnailRequest>& request) {
  std::lock_guard lock(shared_->mutex);
  std::erase_if(shared_->waiting, [&request](const auto& job) { return job->request == request; });
  for (const auto& job : shared_->rendering) {
    if (job->request == request) job->stop.request_stop();
  }
}

}  // namespace tavrel::desktop
