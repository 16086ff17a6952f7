#include "service/tavrel_recent_transfers_api_client.h"

#include <gtest/gtest.h>

#include "platform/manual_main_queue.h"
#include "support/stand_in_service.h"

namespace tavrel {
namespace {

using testing::Fault;
using testing::StandInResponse;
using testing::StandInService;
using Endpoint = StandInService::Endpoint;
using namespace std::chrono_literals;

const std::string entry = R"({"id":"%ID%","title":"T %ID%","fileCount":1,"totalBytes":10,
    "createdAt":"2025-01-31T09:30:00Z","downloadSlug":"s-%ID%"})";

std::string entryWithId(const std::string& id) {
  std::string text = entry;
  for (std::size_t at; (at = text.find("%ID%")) != std::string::npos;) text.replace(at, 4, id);
  return text;
}

class TavrelRecentTransfersAPIClientTest : public ::testing::Test {
 protected:
  RecentTransfersOutcome load(std::stop_token stop = {}) {
    std::optional<RecentTransfersOutcome> outcome;
    client->recentTransfers(stop, [&](RecentTransfersOutcome result) { outcome = std::move(result); });
    EXPECT_TRUE(queue.runUntil([&] { return outcome.has_value(); }, 30s));
    return outcome.value_or(Cancelled{});
  }
  static TransferAPIError errorOf(const RecentTransfersOutcome& outcome) {
    if (const auto* error = std::get_if<TransferAPIError>(&outcome)) return *error;
    ADD_FAILURE() << "not an error";
    return TransferAPIError::invalidResponse();
  }

  platform::ManualMainQueue queue;
  StandInService service;
  std::shared_ptr<testing::ScriptedAccessTokenProvider> tokens =
      std::make_shared<testing::ScriptedAccessTokenProvider>();
  std::unique_ptr<TavrelRecentTransfersAPIClient> client = std::make_unique<TavrelRecentTransfersAPIClient>(
      service.webAppURL(), tokens, testing::makeStandInSession(), queue);
};

TEST_F(TavrelRecentTransfersAPIClientTest, ReturnsTheEntriesInTheServicesOrder) {
  EXPECT_EQ(std::get<std::vector<RecentTransfer>>(load()).size(), 0u);

  service.setRecentTransfersBody(R"({"transfers":[)" + entryWithId("b") + "," + entryWithId("a") + "," +
                                 entryWithId("c") + "]}");
  const auto transfers = std::get<std::vector<RecentTransfer>>(load());
  ASSERT_EQ(transfers.size(), 3u);
  EXPECT_EQ(transfers[0].id, "b");
  EXPECT_EQ(transfers[1].id, "a");
  EXPECT_EQ(transfers[2].id, "c");
  EXPECT_TRUE(transfers[0].mimeTypes.empty());

  const auto request = service.requests(Endpoint::recentTransfers).back();
  EXPECT_EQ(request.path, "/api/v1/transfers");
  EXPECT_EQ(request.query, std::nullopt);
  EXPECT_EQ(request.header("Authorization"), "Bearer token-1");
  EXPECT_EQ(request.header("Accept"), "application/json");
  EXPECT_EQ(request.header("Content-Type"), std::nullopt);
  EXPECT_EQ(request.bodySize, 0u);
}

TEST_F(TavrelRecentTransfersAPIClientTest, UndecodableListsAreInvalidResponses) {
  std::string fractional = entryWithId("a");
  fractional.replace(fractional.find("09:30:00Z"), 9, "09:30:00.25Z");
  service.setRecentTransfersBody(R"({"transfers":[)" + fractional + "]}");
  EXPECT_EQ(errorOf(load()), TransferAPIError::invalidResponse());
  service.setRecentTransfersBody("");
  EXPECT_EQ(errorOf(load()), TransferAPIError::invalidResponse());
}

TEST_F(TavrelRecentTransfersAPIClientTest, A401IsRepeatedOnceWithTheRenewedToken) {
  service.setAcceptedTokens({"token-2"});
  EXPECT_TRUE(std::holds_alternative<std::vector<RecentTransfer>>(load()));
  EXPECT_EQ(tokens->rejectedTokens(), std::vector<std::string>{"token-1"});
  EXPECT_EQ(service.requests(Endpoint::recentTransfers).back().header("Authorization"), "Bearer token-2");

  service.setAcceptedTokens({});
  EXPECT_EQ(errorOf(load()), TransferAPIError::unauthorized());
  EXPECT_EQ(service.requestCount(Endpoint::recentTransfers), 4u);
}

TEST_F(TavrelRecentTransfersAPIClientTest, FailuresCarryTheirOwnFallbackText) {
  StandInResponse plain = StandInResponse::json("busy", 503);
  plain.contentType = "text/plain";
  service.respond(Endpoint::recentTransfers, 1, plain);
  const auto busy = errorOf(load());
  EXPECT_EQ(busy, TransferAPIError::rejected(503, "http_error", "Tavrel could not load recent transfers."));
  EXPECT_EQ(busy.errorDescription(), "Tavrel could not load recent transfers.");

  service.respond(Endpoint::recentTransfers, 2,
                  StandInResponse::json(R"({"error":{"code":"forbidden","message":"Not in this workspace."}})", 403));
  EXPECT_EQ(errorOf(load()).errorDescription(), "Not in this workspace.");

  // Every connection dropped (libcurl may quietly retry once on a reused connection).
  service.addFault(Endpoint::recentTransfers, 0, Fault::dropBeforeAnswer());
  EXPECT_EQ(errorOf(load()), TransferAPIError::transportUnavailable());

  const auto sent = service.requestCount(Endpoint::recentTransfers);
  // The token provider's error passes through unchanged, and its cancellation is no error at all.
  tokens->failValidAccessToken(AccessTokenError::failed("Nobody is signed in."));
  auto outcome = load();
  ASSERT_TRUE(std::holds_alternative<AccessTokenError>(outcome));
  EXPECT_EQ(std::get<AccessTokenError>(outcome).message, "Nobody is signed in.");
  tokens->failValidAccessToken(AccessTokenError::cancelled());
  EXPECT_TRUE(std::holds_alternative<Cancelled>(load()));
  EXPECT_EQ(service.requestCount(Endpoint::recentTransfers), sent);
}

TEST_F(TavrelRecentTransfersAPIClientTest, AStoppedLoadCompletesAsCancelled) {
  service.addFault(Endpoint::recentTransfers, 1, Fault::stall());
  std::stop_source stop;
  std::optional<RecentTransfersOutcome> outcome;
  client->recentTransfers(stop.get_token(), [&](RecentTransfersOutcome result) { outcome = std::move(result); });
  ASSERT_TRUE(service.serviceServer().waitForRequestsStarted(1, 10s));
  stop.request_stop();
  ASSERT_TRUE(queue.runUntil([&] { return outcome.has_value(); }, 10s));
  EXPECT_TRUE(std::holds_alternative<Cancelled>(*outcome));
}

TEST_F(TavrelRecentTransfersAPIClientTest, DestroyingTheClientStopsItsLoadAndDropsTheCompletion) {
  service.addFault(Endpoint::recentTransfers, 1, Fault::stall());
  bool called = false;
  client->recentTransfers({}, [&](RecentTransfersOutcome) { called = true; });
  ASSERT_TRUE(service.serviceServer().waitForRequestsStarted(1, 10s));
  client.reset();
  queue.runUntilIdle();
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace tavrel
