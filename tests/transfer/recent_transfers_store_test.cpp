#include <gtest/gtest.h>

#include <chrono>

#include "platform/logger.h"
#include "platform/manual_main_queue.h"
#include "support/fake_transfer_services.h"
#include "transfer/recent_transfers_store.h"

using namespace tavrel;
using namespace std::chrono_literals;
using tavrel::testing::FakeRecentTransfersAPI;

namespace {

const std::chrono::system_clock::time_point epoch{std::chrono::hours(24 * 365 * 55)};

RecentTransfer entry(const std::string& id, int minutesAfterEpoch, const std::string& title = "Transfer") {
  return RecentTransfer{id, title, 1, 100, epoch + std::chrono::minutes(minutesAfterEpoch), "slug-" + id,
                        std::nullopt, {}};
}

std::vector<std::string> idsOf(const std::vector<RecentTransfer>& transfers) {
  std::vector<std::string> ids;
  for (const auto& transfer : transfers) ids.push_back(transfer.id);
  return ids;
}

CompletedTransfer completedWith(std::optional<RecentTransfer> recent) {
  return CompletedTransfer{PreparedTransfer{}, "transfer-1", "slug-1", std::move(recent)};
}

class RecentTransfersStoreTest : public ::testing::Test {
 protected:
  platform::ManualMainQueue queue;
  std::shared_ptr<FakeRecentTransfersAPI> api = std::make_shared<FakeRecentTransfersAPI>(queue);
  std::chrono::system_clock::time_point now = epoch;
  std::unique_ptr<RecentTransfersStore> store =
      std::make_unique<RecentTransfersStore>(api, 60s, [this] { return now; });

  void answer(RecentTransfersOutcome outcome, std::optional<std::size_t> index = std::nullopt) {
    api->answer(std::move(outcome), index);
    queue.runUntilIdle();
  }
  void loadSuccessfully(std::vector<RecentTransfer> entries) {
    store->refresh(true);
    answer(std::move(entries));
  }
};

}  // namespace

TEST_F(RecentTransfersStoreTest, ACompleteListStaysFreshForSixtySeconds) {
  store->refresh();
  store->refresh();  // one load at a time
  store->refresh(true);
  ASSERT_EQ(api->requests().size(), 1u);
  answer(std::vector{entry("a", 1)});
  EXPECT_EQ(idsOf(store->transfers().value()), std::vector<std::string>{"a"});
  EXPECT_TRUE(store->hasCompleteSnapshot().value());
  EXPECT_FALSE(store->isLoading().value());
  EXPECT_FALSE(store->hasLoadTask());

  now += 59'999ms;
  store->refresh();
  EXPECT_EQ(api->requests().size(), 1u);
  now += 1ms;
  store->refresh();
  EXPECT_EQ(api->requests().size(), 2u);
  answer(std::vector{entry("b", 2)});

  store->refresh(true);  // forced: even while fresh
  EXPECT_EQ(api->requests().size(), 3u);
}

TEST_F(RecentTransfersStoreTest, KeepsTheFiveNewestNewestFirstAndTiesInServiceOrder) {
  loadSuccessfully({entry("1", 1), entry("2", 2), entry("3", 3), entry("4", 4), entry("5", 5), entry("6", 6),
                    entry("7", 7)});
  EXPECT_EQ(idsOf(store->transfers().value()), (std::vector<std::string>{"7", "6", "5", "4", "3"}));

  loadSuccessfully({entry("x", 5), entry("y", 9), entry("z", 5)});
  EXPECT_EQ(idsOf(store->transfers().value()), (std::vector<std::string>{"y", "x", "z"}));
}

TEST_F(RecentTransfersStoreTest, RecordingFoldsAnEntryInOncePerIdOrMakesTheNextRefreshLoad) {
  loadSuccessfully({entry("1", 1), entry("2", 2), entry("3", 3), entry("4", 4), entry("5", 5)});

  store->record(completedWith(entry("3", 10, "Renamed")));
  EXPECT_EQ(idsOf(store->transfers().value()), (std::vector<std::string>{"3", "5", "4", "2", "1"}));
  EXPECT_EQ(store->transfers().value().front().title, "Renamed");

  store->record(completedWith(entry("new", 20)));
  EXPECT_EQ(idsOf(store->transfers().value()), (std::vector<std::string>{"new", "3", "5", "4", "2"}));
  EXPECT_TRUE(store->hasCompleteSnapshot().value());

  // Fresh list, but a completion without an entry means the service knows more than we do.
  store->refresh();
  EXPECT_EQ(api->requests().size(), 1u);
  store->record(completedWith(std::nullopt));
  store->refresh();
  EXPECT_EQ(api->requests().size(), 2u);
}

TEST_F(RecentTransfersStoreTest, FailuresShowTheirTextAndKeepAnEarlierList) {
  store->refresh();
  EXPECT_TRUE(store->showsLoadingPlaceholder());
  answer(TransferAPIError::transportUnavailable());
  EXPECT_EQ(store->errorMessage().value(), std::string(TransferAPIError::transportUnavailable().what()));
  EXPECT_TRUE(store->showsErrorPlaceholder());
  EXPECT_FALSE(store->showsLoadingPlaceholder());
  EXPECT_FALSE(store->isLoading().value());

  // A token that could not be had shows the sign-in side's own text.
  store->refresh();
  answer(AccessTokenError::failed("Tavrel is temporarily unavailable."));
  EXPECT_EQ(store->errorMessage().value(), "Tavrel is temporarily unavailable.");

  // Without a complete list, a refresh always loads, and clears the old text as it starts.
  store->refresh();
  EXPECT_EQ(api->requests().size(), 3u);
  EXPECT_EQ(store->errorMessage().value(), std::nullopt);
  answer(std::vector{entry("a", 1)});

  store->refresh(true);
  EXPECT_FALSE(store->showsLoadingPlaceholder());  // the list shows while it reloads
  answer(TransferAPIError::invalidResponse());
  EXPECT_EQ(idsOf(store->transfers().value()), std::vector<std::string>{"a"});
  EXPECT_TRUE(store->errorMessage().value().has_value());
  EXPECT_FALSE(store->showsErrorPlaceholder());

  // Recording a completed transfer clears the text.
  store->record(completedWith(entry("b", 2)));
  EXPECT_EQ(store->errorMessage().value(), std::nullopt);
}

TEST_F(RecentTransfersStoreTest, ResetDuringALoadDropsWhateverThatLoadAnswers) {
  loadSuccessfully({entry("a", 1)});
  store->refresh(true);
  store->reset();
  EXPECT_FALSE(store->isLoading().value());
  EXPECT_FALSE(store->hasLoadTask());
  EXPECT_TRUE(store->transfers().value().empty());
  EXPECT_FALSE(store->hasCompleteSnapshot().value());
  EXPECT_TRUE(api->requests()[1].stop.stop_requested());

  answer(std::vector{entry("late", 9)}, 1);
  answer(TransferAPIError::unauthorized(), 1);
  EXPECT_TRUE(store->transfers().value().empty());
  EXPECT_EQ(store->errorMessage().value(), std::nullopt);
  EXPECT_FALSE(store->hasCompleteSnapshot().value());

  // The list was forgotten: the next refresh loads even without force.
  store->refresh();
  EXPECT_EQ(api->requests().size(), 3u);
}

TEST_F(RecentTransfersStoreTest, AnOldLoadsLateCancellationLeavesTheNewLoadAlone) {
  store->refresh();
  store->reset();
  store->refresh();
  ASSERT_EQ(api->requests().size(), 2u);

  answer(Cancelled{}, 0);
  EXPECT_TRUE(store->isLoading().value());
  EXPECT_TRUE(store->hasLoadTask());
  store->refresh(true);  // the new load still counts as running
  EXPECT_EQ(api->requests().size(), 2u);

  answer(std::vector{entry("new", 1)}, 1);
  EXPECT_EQ(idsOf(store->transfers().value()), std::vector<std::string>{"new"});
  EXPECT_FALSE(store->isLoading().value());
}

TEST_F(RecentTransfersStoreTest, TheCurrentLoadEndingCancelledEndsLoadingSilently) {
  store->refresh();
  answer(Cancelled{});
  EXPECT_FALSE(store->isLoading().value());
  EXPECT_FALSE(store->hasLoadTask());
  EXPECT_EQ(store->errorMessage().value(), std::nullopt);
  EXPECT_FALSE(store->showsErrorPlaceholder());
}

TEST_F(RecentTransfersStoreTest, AStoreThatGoesAwayStopsItsLoad) {
  store->refresh();
  const auto stop = api->requests()[0].stop;
  store.reset();
  EXPECT_TRUE(stop.stop_requested());
  answer(std::vector{entry("late", 1)});  // nothing left to change, nothing breaks
}

namespace {

std::vector<std::string>& logLines() {
  static std::vector<std::string> lines;
  return lines;
}

}  // namespace

// A failed load is logged, so a placeholder the user reports can be traced: what kind of failure in
// the clear, its text (which may quote the service) only when private logging is on.
TEST_F(RecentTransfersStoreTest, AFailedLoadIsLoggedWithItsKindAndPrivateText) {
  logLines().clear();
  const auto previous = platform::Logger::setSink([](platform::LogLevel, std::string_view line) { logLines().emplace_back(line); });
  store->refresh();
  answer(TransferAPIError::rejected(503, "maintenance", "Back at noon."));
  store->refresh();
  answer(AccessTokenError::failed("Your session has expired. Please sign in again."));
  store->refresh();
  answer(Cancelled{});
  platform::Logger::setSink(previous);

  ASSERT_EQ(logLines().size(), 2u);
  const auto expected = [](std::string code, std::string text) {
    return "Recent transfers failed to load: " + code + ": " +
           (platform::Logger::privateLoggingEnabled() ? text : std::string("<private>"));
  };
  EXPECT_NE(logLines()[0].find(expected("rejected 503 maintenance", "Back at noon.")), std::string::npos) << logLines()[0];
  EXPECT_NE(logLines()[1].find(expected("accessTokenUnavailable", "Your session has expired. Please sign in again.")),
            std::string::npos)
      << logLines()[1];
}
