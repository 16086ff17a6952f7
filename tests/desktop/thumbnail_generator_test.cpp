#include "desktop/thumbnail_generator.h"

#include <gmock/gmock.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrel::desktop {
namespace {

using platform::ThumbnailImage;
using platform::ThumbnailRequest;
using Image = std::shared_ptr<const ThumbnailImage>;

std::shared_ptr<const ThumbnailRequest> makeRequest(const char* file) {
  return std::make_shared<const ThumbnailRequest>(ThumbnailRequest{file, 90, 90, 2});
}

Image imageOfWidth(int width) {
  return std::make_shared<const ThumbnailImage>(ThumbnailImage{width, 1, std::vector<std::uint8_t>(width * 4, 0)});
}

// A renderer the test steers: files named "hold" stay in it until their token is stopped or the
// test releases them; the others answer at once, "none" with null.
class SteeredRenderer {
 public:
  Image render(const ThumbnailRequest& request, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    seen_.push_back(request.file.string());
    changed_.notify_all();
    if (request.file == "hold") {
      changed_.wait(lock, stop, [this] { return released_; });
      stoppedWhileHeld_ = stop.stop_requested();
    }
    return request.file == "none" ? nullptr : imageOfWidth(static_cast<int>(seen_.size()));
  }

  void waitUntilSeen(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return seen_.size() >= count; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::vector<std::string> seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  bool stoppedWhileHeld() {
    std::lock_guard lock(mutex_);
    return stoppedWhileHeld_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<std::string> seen_;
  bool released_ = false;
  bool stoppedWhileHeld_ = false;
};

class ThumbnailGeneratorTest : public ::testing::Test {
 protected:
  std::unique_ptr<ThumbnailGenerator> makeGenerator(int workers = 1) {
    return std::make_unique<ThumbnailGenerator>(
        [this](const ThumbnailRequest& request, std::stop_token stop) { return renderer_.render(request, stop); },
        workers);
  }

  // Generates and waits for the answer.
  Image answer(ThumbnailGenerator& generator, std::shared_ptr<const ThumbnailRequest> request) {
    std::promise<Image> promise;
    generator.generate(std::move(request), [&promise](Image image) { promise.set_value(std::move(image)); });
    return promise.get_future().get();
  }

  SteeredRenderer renderer_;
};

TEST_F(ThumbnailGeneratorTest, AnswersOnItsOwnThreadOnceEachWithTheImageOrNull) {
  auto generator = makeGenerator(2);
  std::atomic<int> answers = 0;
  std::promise<std::pair<std::thread::id, Image>> answered;
  generator->generate(makeRequest("a.png"), [&](Image image) {
    ++answers;
    answered.set_value({std::this_thread::get_id(), std::move(image)});
  });
  const auto [thread, image] = answered.get_future().get();
  EXPECT_NE(thread, std::this_thread::get_id());  // so never inside generate() either
  EXPECT_NE(image, nullptr);

  EXPECT_EQ(answer(*generator, makeRequest("none")), nullptr);
  generator.reset();  // joins the workers: no answer can still be on its way
  EXPECT_EQ(answers, 1);
}

TEST_F(ThumbnailGeneratorTest, CancelledWaitingRequestIsNeverRenderedNorAnswered) {
  auto generator = makeGenerator(1);
  std::atomic<int> heldAnswers = 0;
  std::atomic<int> cancelledAnswers = 0;
  generator->generate(makeRequest("hold"), [&](Image) { ++heldAnswers; });
  renderer_.waitUntilSeen(1);

  auto cancelled = makeRequest("same.png");
  auto twin = makeRequest("same.png");  // equal in content, another request
  generator->generate(cancelled, [&](Image) { ++cancelledAnswers; });
  generator->cancel(cancelled);
  renderer_.release();

  // One worker takes requests in order: the twin's answer comes after the cancelled one would have.
  EXPECT_NE(answer(*generator, twin), nullptr);
  EXPECT_EQ(cancelledAnswers, 0);
  EXPECT_EQ(heldAnswers, 1);
  EXPECT_THAT(renderer_.seen(), ::testing::ElementsAre("hold", "same.png"));
}

TEST_F(ThumbnailGeneratorTest, CancelStopsTheRequestBeingRenderedAndDropsItsAnswer) {
  auto generator = makeGenerator(1);
  std::atomic<int> heldAnswers = 0;
  auto held = makeRequest("hold");
  generator->generate(held, [&](Image) { ++heldAnswers; });
  renderer_.waitUntilSeen(1);
  generator->cancel(held);

  EXPECT_NE(answer(*generator, makeRequest("next.png")), nullptr);
  EXPECT_TRUE(renderer_.stoppedWhileHeld());
  EXPECT_EQ(heldAnswers, 0);
}

TEST_F(ThumbnailGeneratorTest, DestroyingStopsRenderingAndDropsWaitingRequests) {
  auto generator = makeGenerator(1);
  std::atomic<int> answers = 0;
  generator->generate(makeRequest("hold"), [&](Image) { ++answers; });
  generator->generate(makeRequest("later.png"), [&](Image) { ++answers; });
  renderer_.waitUntilSeen(1);

  generator.reset();
  EXPECT_TRUE(renderer_.stoppedWhileHeld());
  EXPECT_EQ(answers, 0);
  EXPECT_THAT(renderer_.seen(), ::testing::ElementsAre("hold"));
}

TEST_F(ThumbnailGeneratorTest, CompletionMayReleaseTheLastOwner) {
  std::shared_ptr<ThumbnailGenerator> generator = makeGenerator(1);
  std::promise<void> released;
  auto* raw = generator.get();
  raw->generate(makeRequest("a.png"), [&generator, &released](Image) {
    generator.reset();  // on the worker: it must not join itself
    released.set_value();
  });
  released.get_future().get();
  EXPECT_EQ(generator, nullptr);
}

}  // namespace
}  // namespace tavrel::desktop
