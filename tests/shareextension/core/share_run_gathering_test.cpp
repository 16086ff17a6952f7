#include "shareextension/core/share_run_gathering.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/manual_main_queue.h"
#include "support/raw_channel_client.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

using Items = ShareRunGathering::Items;
using Claim = std::optional<std::variant<ShareRunGathering::HandedOver, std::unique_ptr<ShareRunGathering>>>;

TEST(ShareRunGatheringMessageTest, CarriesEveryItemByteForByte) {
  const Items items = {"/home/ana/caf\xE9.txt", "", "-rf", "two words\nand a line", "file:///x/a%20b", "/"};
  const auto message = ShareRunGathering::encode(items);
  ASSERT_TRUE(message);
  EXPECT_EQ(message->find_first_of(std::string_view("\n\0", 2)), std::string::npos);
  EXPECT_EQ(ShareRunGathering::decode(*message), items);
  EXPECT_EQ(ShareRunGathering::decode(*ShareRunGathering::encode({})), Items{});

  for (const std::string_view foreign : {"activate", "items x", "items iAB", "items  iAA==", "itemsiAA==", "items iAA== "}) {
    EXPECT_FALSE(ShareRunGathering::decode(foreign)) << foreign;
  }
  // Too long to send: the run keeps its items to itself.
  EXPECT_FALSE(ShareRunGathering::encode(Items(100, std::string(4096, 'a'))));
}

class ShareRunGatheringTest : public ::testing::Test {
 protected:
  // A run started at the same time, claiming from a thread of its own as another process would.
  std::future<Claim> startTogether(Items items) {
    return std::async(std::launch::async, [this, items] { return ShareRunGathering::claim(socketPath, items); });
  }
  std::unique_ptr<ShareRunGathering> becomeFirst(const Items& items) {
    auto claimed = ShareRunGathering::claim(socketPath, items);
    if (!claimed || !std::holds_alternative<std::unique_ptr<ShareRunGathering>>(*claimed)) return nullptr;
    return std::get<std::unique_ptr<ShareRunGathering>>(std::move(*claimed));
  }
  // Waits (up to ten seconds) until a run's items wait on the main queue.
  bool itemsQueued() {
    for (int tries = 0; tries < 1000 && !queue->hasPendingTasks(); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return queue->hasPendingTasks();
  }

  testing::TemporaryDirectory directory;
  std::filesystem::path socketPath = directory.path() / "runs.socket";
  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  std::vector<Items> taken;
};

TEST_F(ShareRunGatheringTest, TheFirstRunTakesTheItemsOfRunsStartedTogetherUntilItsWindowEnds) {
  auto first = becomeFirst({"/home/ana/Holiday photos", "/home/ana/Receipts"});
  ASSERT_TRUE(first);
  // The folders' run is still starting its interface when the files' run hands over: it waits.
  auto second = startTogether({"/home/ana/notes.txt", "/home/ana/caf\xE9.txt"});
  first->serve(queue, [this](Items items) { taken.push_back(std::move(items)); });
  ASSERT_TRUE(queue->runUntil([&] { return !taken.empty(); }));
  EXPECT_EQ(taken, (std::vector<Items>{{"/home/ana/notes.txt", "/home/ana/caf\xE9.txt"}}));
  const auto handed = second.get();
  ASSERT_TRUE(handed);
  EXPECT_TRUE(std::holds_alternative<ShareRunGathering::HandedOver>(*handed));

  // Past the window a run is a new choice of the user's: it keeps its own sheet.
  queue->advance(ShareRunGathering::window);
  EXPECT_FALSE(first->isServing());
  auto later = becomeFirst({"/home/ana/later.txt"});
  EXPECT_TRUE(later);
  EXPECT_EQ(taken.size(), 1u);
}

TEST_F(ShareRunGatheringTest, ARunWhoseItemsTheFirstNoLongerTakesShowsItsOwnSheet) {
  auto first = becomeFirst({"/home/ana/Holiday photos"});
  ASSERT_TRUE(first);
  first->serve(queue, [this](Items items) { taken.push_back(std::move(items)); });
  auto second = startTogether({"/home/ana/notes.txt"});
  ASSERT_TRUE(itemsQueued());
  // The user pressed Create Link (or closed the sheet) before the main thread took them.
  first->stop();
  queue->runUntilIdle();
  EXPECT_TRUE(taken.empty());
  const auto claimed = second.get();
  ASSERT_TRUE(claimed);
  EXPECT_TRUE(std::holds_alternative<std::unique_ptr<ShareRunGathering>>(*claimed)) << "it became a first run itself";
}

// What the first run answers a client that sends `message` and then only listens.
std::string answerTo(const std::filesystem::path& socketPath, platform::ManualMainQueue& queue, std::string_view message) {
  const int fd = testing::connectRaw(socketPath);
  std::string answer;
  const std::string line = std::string(message) + "\n";
  if (fd >= 0 && ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
    pollfd readable{fd, POLLIN, 0};
    char buffer[64];
    if (queue.runUntil([&] { return ::poll(&readable, 1, 0) == 1; })) {
      const auto count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (count > 0) answer.assign(buffer, static_cast<std::size_t>(count));
    }
  }
  ::close(fd);
  return answer;
}

TEST_F(ShareRunGatheringTest, WhatIsNotAListOfItemsIsRefusedAndARunThatGaveUpWaitingKeepsItsItems) {
  auto first = becomeFirst({"/home/ana/Holiday photos"});
  ASSERT_TRUE(first);
  first->serve(queue, [this](Items items) { taken.push_back(std::move(items)); });
  for (const std::string_view foreign : {"items x", "items-v2 abc", ""}) {
    EXPECT_EQ(answerTo(socketPath, *queue, foreign), "refused\n") << foreign;
  }

  // The first run's main thread is held up past the later run's patience: the later run shows
  // its own sheet, and the first run, once it wakes, does not take its items too.
  const auto gaveUp = ShareRunGathering::claim(socketPath, {"/home/ana/notes.txt"}, std::chrono::milliseconds(200));
  EXPECT_FALSE(gaveUp) << "it shows its own sheet";
  queue->runUntil([] { return false; }, std::chrono::milliseconds(500));
  EXPECT_TRUE(taken.empty());
  EXPECT_TRUE(first->isServing());
}

}  // namespace
}  // namespace tavrel
