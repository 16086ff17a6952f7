#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/manual_main_queue.h"
#include "shareextension/core/share_extension_model.h"
#include "sharehandoff/share_handoff_test_support.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using namespace share_extension_state;
using namespace testing;
using Outcome = ShareHandoffAcknowledgementOutcome;
namespace fs = std::filesystem;

class FakeContext final : public ShareExtensionContext {
 public:
  std::vector<ShareExtensionAttachment> inputItems() const override { return attachments; }
  void completeRequest() override { ++completed; }
  void cancelRequest() override { ++cancelled; }

  std::vector<ShareExtensionAttachment> attachments;
  int completed = 0;
  int cancelled = 0;
};

// Answers through the main queue; `onOpen` plays the program being started.
class FakeOpener final : public ShareApplicationOpening {
 public:
  explicit FakeOpener(platform::MainQueue& queue) : queue_(queue) {}
  void openMainApplication(Completion completion) override {
    ++opens;
    if (onOpen) onOpen();
    queue_.post([completion = std::move(completion), result = result] { completion(result); });
  }
  int opens = 0;
  std::function<void()> onOpen;
  platform::Expected<platform::Unit, ShareExtensionHandoffError> result = platform::Unit{};

 private:
  platform::MainQueue& queue_;
};

// The model with the real storage in a temporary container, an in-process signal and a loader that
// reads real files on its worker threads.
class ShareExtensionModelTest : public ::testing::Test {
 protected:
  ShareExtensionModelTest() {
    context->attachments = {{directory.writeFile("a.txt", "aa").string(), std::nullopt},
                            {directory.makeDirectory("Folder").string(), std::nullopt}};
    rebuild();
  }
  void rebuild() {
    model.reset();
    model = std::make_unique<ShareExtensionModel>(ShareExtensionModel::Services{
        queue, context, signal, opener, [this] { return storageResult; }, [] { return handoffDate; }, {}});
    subscription = model->subscribe([this](const ShareExtensionModel::State& state) { states.push_back(state); });
  }
  void loadReady() {
    model->start();
    ASSERT_TRUE(queue.runUntil([&] { return !std::holds_alternative<Loading>(model->state()); }));
    ASSERT_TRUE(std::holds_alternative<Ready>(model->state()));
  }
  // The program's side, by hand: answers the request in the folder.
  void programAnswers(Outcome outcome, std::optional<std::string> message = std::nullopt) {
    ASSERT_TRUE(storage.writeAcknowledgement({1, model->request()->id, handoffDate, outcome, std::move(message)}));
  }
  const Failed* failed() const { return std::get_if<Failed>(&model->state()); }
  fs::path requestFile() const { return storage.requestFile(model->request()->id); }

  platform::ManualMainQueue queue;
  TemporaryDirectory directory;
  ShareHandoffStorage storage{directory.path() / "container"};
  platform::Expected<ShareHandoffStorage, ShareHandoffStorageError> storageResult{storage};
  std::shared_ptr<FakeContext> context = std::make_shared<FakeContext>();
  std::shared_ptr<InProcessShareHandoffSignal> signal = std::make_shared<InProcessShareHandoffSignal>();
  std::shared_ptr<FakeOpener> opener = std::make_shared<FakeOpener>(queue);
  std::unique_ptr<ShareExtensionModel> model;
  platform::Subscription subscription;
  std::vector<ShareExtensionModel::State> states;
};

TEST_F(ShareExtensionModelTest, LoadsTheItemsIntoARequestAndCreatesLinksOnlyWhileReady) {
  model->createLink();  // loading
  EXPECT_EQ(opener->opens, 0);
  loadReady();
  const auto& items = std::get<Ready>(model->state()).items;
  ASSERT_EQ(items.size(), 2u);
  ASSERT_TRUE(model->request());
  EXPECT_EQ(model->request()->createdAt, handoffDate);
  EXPECT_EQ(model->request()->items, (std::vector<ShareHandoffItem>{items[0].handoffItem, items[1].handoffItem}));

  model->createLink();
  EXPECT_TRUE(std::holds_alternative<HandingOff>(model->state()));
  model->createLink();  // handing off: nothing new starts
  queue.runUntilIdle();
  EXPECT_EQ(opener->opens, 1);
  EXPECT_EQ(signal->posts(), 1);
  EXPECT_EQ(storage.readRequest(requestFile()).value(), *model->request());
}

TEST_F(ShareExtensionModelTest, AnAnswerWithinFifteenSecondsClosesTheShare) {
  loadReady();
  model->createLink();
  queue.runUntilIdle();
  queue.advance(14s);
  EXPECT_EQ(context->completed, 0);
  programAnswers(Outcome::accepted);
  queue.advance(900ms);
  EXPECT_EQ(context->completed, 1);
  EXPECT_FALSE(fs::exists(storage.acknowledgementFile(model->request()->id)));
  EXPECT_FALSE(fs::exists(requestFile()));
  queue.advance(1min);
  EXPECT_TRUE(std::holds_alternative<HandingOff>(model->state()));
}

TEST_F(ShareExtensionModelTest, ALateAnswerIsCollectedByRetryWithoutAskingAgain) {
  loadReady();
  model->createLink();
  queue.runUntilIdle();
  queue.advance(15s - 100ms);
  EXPECT_FALSE(failed());
  queue.advance(100ms);
  ASSERT_TRUE(failed());
  EXPECT_EQ(failed()->message, "Tavrel didn’t respond. Open the app and try again.");
  EXPECT_EQ(failed()->items, std::get<HandingOff>(states.at(states.size() - 2)).items);
  EXPECT_TRUE(fs::exists(requestFile()));  // the program may still claim it

  programAnswers(Outcome::accepted);  // deletes the request, as the program does
  const auto id = model->request()->id;
  model->retry();
  queue.runUntilIdle();
  EXPECT_EQ(context->completed, 1);
  EXPECT_EQ(model->request()->id, id);
  EXPECT_FALSE(fs::exists(requestFile()));
  EXPECT_EQ(opener->opens, 1);
  EXPECT_EQ(signal->posts(), 1);
}

TEST_F(ShareExtensionModelTest, RejectionsShowTheProgramsTextOrOneOfTheirOwn) {
  loadReady();
  opener->onOpen = [this] { programAnswers(Outcome::rejected); };
  model->createLink();
  queue.runUntilIdle();
  ASSERT_TRUE(failed());
  EXPECT_EQ(failed()->message, "Tavrel couldn’t accept the shared items.");
  EXPECT_TRUE(failed()->items);

  opener->onOpen = [this] { programAnswers(Outcome::rejected, "One or more shared items are no longer available."); };
  model->retry();
  queue.runUntilIdle();
  EXPECT_EQ(failed()->message, "One or more shared items are no longer available.");
  EXPECT_EQ(opener->opens, 2);
}

TEST_F(ShareExtensionModelTest, ADamagedAnswerFailsOnceAndTheRetryAsksAgain) {
  loadReady();
  opener->onOpen = [this] {
    directory.writeFile(storage.acknowledgementFile(model->request()->id).lexically_relative(directory.path()), "{oops");
  };
  model->createLink();
  queue.runUntilIdle();
  ASSERT_TRUE(failed());
  EXPECT_EQ(failed()->message, "The handoff file isn’t in the expected format.");
  EXPECT_FALSE(fs::exists(storage.acknowledgementFile(model->request()->id)));

  opener->onOpen = nullptr;
  fs::remove(requestFile());
  model->retry();
  queue.runUntilIdle();
  EXPECT_TRUE(fs::exists(requestFile()));
  EXPECT_EQ(opener->opens, 2);
  EXPECT_TRUE(std::holds_alternative<HandingOff>(model->state()));
}

TEST_F(ShareExtensionModelTest, HandoffFailuresBeforeTheWaitKeepTheItems) {
  loadReady();
  opener->result = platform::unexpected(ShareExtensionHandoffError{ShareExtensionHandoffError::Kind::applicationUnavailable, {}});
  model->createLink();
  queue.runUntilIdle();
  EXPECT_EQ(failed()->message, "Tavrel couldn’t be opened. Open the app and try again.");
  EXPECT_TRUE(failed()->items);

  storageResult = platform::unexpected(ShareHandoffStorageError{ShareHandoffStorageError::Kind::appGroupUnavailable, {}});
  model->retry();
  queue.runUntilIdle();
  EXPECT_EQ(failed()->message, "Tavrel couldn’t access its shared handoff container.");
  EXPECT_EQ(opener->opens, 1);
}

TEST_F(ShareExtensionModelTest, CancelRemovesTheRequestButNeverTheAnswer) {
  loadReady();
  model->createLink();
  queue.runUntilIdle();
  queue.advance(15s);
  ASSERT_TRUE(failed());
  directory.writeFile(storage.temporaryRequestFile(model->request()->id).lexically_relative(directory.path()), "partial");
  const auto request = *model->request();
  ASSERT_TRUE(storage.write(request));
  ASSERT_TRUE(storage.writeAcknowledgement({1, request.id, handoffDate, Outcome::accepted, std::nullopt}));
  ASSERT_TRUE(storage.write(request));

  model->cancel();
  EXPECT_FALSE(fs::exists(storage.requestFile(request.id)));
  EXPECT_FALSE(fs::exists(storage.temporaryRequestFile(request.id)));
  EXPECT_TRUE(fs::exists(storage.acknowledgementFile(request.id)));
  EXPECT_EQ(context->cancelled, 1);
}

TEST_F(ShareExtensionModelTest, ACancelAfterTheProgramTookTheRequestEndsAsItsAnswerSays) {
  loadReady();
  model->createLink();
  queue.runUntilIdle();
  queue.advance(1s);
  // The program accepts between two polls, and the user presses Cancel before the next one.
  programAnswers(Outcome::accepted);
  model->cancel();
  EXPECT_EQ(context->completed, 1);
  EXPECT_EQ(context->cancelled, 0);
  EXPECT_FALSE(fs::exists(storage.acknowledgementFile(model->request()->id)));

  // A refusal sends nothing: the share ends as cancelled.
  context = std::make_shared<FakeContext>();
  context->attachments = {{directory.writeFile("b.txt", "b").string(), std::nullopt}};
  rebuild();
  loadReady();
  model->createLink();
  queue.runUntilIdle();
  programAnswers(Outcome::rejected, "No room");
  model->cancel();
  EXPECT_EQ(context->completed, 0);
  EXPECT_EQ(context->cancelled, 1);
}

TEST_F(ShareExtensionModelTest, CancellingWhileWaitingStopsThePolling) {
  loadReady();
  model->createLink();
  queue.runUntilIdle();
  queue.advance(1s);
  model->cancel();
  queue.advance(30s);
  EXPECT_TRUE(std::holds_alternative<HandingOff>(model->state()));
  EXPECT_FALSE(fs::exists(requestFile()));
  EXPECT_FALSE(queue.hasPendingTasks());
}

TEST_F(ShareExtensionModelTest, AFailedLoadShowsNoItemsAndRetryLoadsAfresh) {
  const auto missing = directory.writeFile("b.txt", "b");
  context->attachments.push_back({missing.string(), std::nullopt});
  fs::remove(missing);
  model->start();
  ASSERT_TRUE(queue.runUntil([&] { return failed() != nullptr; }));
  EXPECT_EQ(*failed(), (Failed{"One or more selected items are no longer available.", std::nullopt}));
  EXPECT_FALSE(model->request());
  model->createLink();  // failed: nothing happens
  EXPECT_TRUE(failed());

  context->attachments.pop_back();
  model->retry();
  EXPECT_TRUE(std::holds_alternative<Loading>(model->state()));
  ASSERT_TRUE(queue.runUntil([&] { return std::holds_alternative<Ready>(model->state()); }));
  ASSERT_TRUE(model->request());
  const auto first = model->request()->id;
  model->retry();  // retry in ready hands off the same request
  EXPECT_EQ(model->request()->id, first);
}

TEST_F(ShareExtensionModelTest, WithoutAContextTheShareIsNoLongerAvailable) {
  context.reset();
  model->start();
  queue.runUntilIdle();
  EXPECT_EQ(*failed(), (Failed{"The share request is no longer available.", std::nullopt}));
}

TEST_F(ShareExtensionModelTest, ARestartedLoadDropsTheEarlierOne) {
  model->start();
  model->start();
  ASSERT_TRUE(queue.runUntil([&] { return std::holds_alternative<Ready>(model->state()); }));
  queue.runUntilIdle();
  std::size_t readies = 0;
  for (const auto& state : states) readies += std::holds_alternative<Ready>(state);
  EXPECT_EQ(readies, 1u);
}

}  // namespace
}  // namespace tavrel
