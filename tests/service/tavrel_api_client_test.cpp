#include "service/tavrel_api_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "service/authorized_request.h"
#include "support/stand_in_service.h"
#include "transfer/cancelled.h"

namespace tavrel {
namespace {

using testing::Fault;
using testing::StandInResponse;
using testing::StandInService;
using Endpoint = StandInService::Endpoint;
using namespace std::chrono_literals;

CreateRemoteTransferRequest createRequest() {
  CreateRemoteTransferRequest request;
  request.title = "Holiday";
  request.expectedFiles = 1;
  request.totalExpectedBytes = 10;
  request.fileSizes = {10};
  request.expiryDays = 7;
  request.region = "eu";
  return request;
}

template <typename Call>
TransferAPIError apiErrorOf(Call&& call) {
  try {
    call();
  } catch (const TransferAPIError& error) {
    return error;
  }
  ADD_FAILURE() << "no TransferAPIError was thrown";
  return TransferAPIError::invalidResponse();
}

class TavrelAPIClientTest : public ::testing::Test {
 protected:
  std::string createdTransfer() { return client.createTransfer(createRequest(), {}).transferId; }

  StandInService service;
  std::shared_ptr<testing::ScriptedAccessTokenProvider> tokens =
      std::make_shared<testing::ScriptedAccessTokenProvider>();
  TavrelAPIClient client{service.webAppURL(), tokens, testing::makeStandInSession()};
};

TEST_F(TavrelAPIClientTest, EveryOperationSendsItsMethodPathHeadersAndBody) {
  const std::string id = createdTransfer();
  const auto plans = client.registerFiles(id, {{"REF-1", "a.txt", "a.txt", "text/plain", 10}}, {});
  ASSERT_EQ(plans.plans.size(), 1u);
  const std::string fileId = plans.plans[0].fileId;
  EXPECT_EQ(plans.plans[0].referenceId, "REF-1");
  EXPECT_FALSE(client.signSingleUpload(id, fileId, {}).url.isEmpty());
  EXPECT_EQ(client.resumeState(id, {}).files.size(), 1u);
  client.deleteTransfer(id, {});

  const auto create = service.requests(Endpoint::createTransfer).at(0);
  EXPECT_EQ(create.header("Authorization"), "Bearer token-1");
  EXPECT_EQ(create.header("Accept"), "application/json");
  EXPECT_EQ(create.header("Content-Type"), "application/json");
  const auto createBody = nlohmann::json::parse(create.body);
  EXPECT_EQ(createBody["title"], "Holiday");
  EXPECT_FALSE(createBody.contains("reviewAccessType"));

  const auto registration = service.requests(Endpoint::registerFiles).at(0);
  EXPECT_EQ(registration.path, "/api/v1/transfers/" + id + "/files");
  EXPECT_TRUE(nlohmann::json::parse(registration.body).is_array());
  EXPECT_EQ(service.requests(Endpoint::sign).at(0).body, "{}");

  for (const auto endpoint : {Endpoint::resumeState, Endpoint::deleteTransfer}) {
    const auto request = service.requests(endpoint).at(0);
    EXPECT_EQ(request.header("Authorization"), "Bearer token-1");
    EXPECT_EQ(request.header("Accept"), "application/json");
    EXPECT_EQ(request.header("Content-Type"), std::nullopt) << request.method;
    EXPECT_EQ(request.bodySize, 0u) << request.method;
  }
  EXPECT_TRUE(service.transfer(id)->deleted);
}

TEST_F(TavrelAPIClientTest, CompleteFileSendsAnEmptyObjectWithoutPartsAndThePartsInTheCallersOrder) {
  service.respond(Endpoint::completeFile, 1, StandInResponse::json(R"({"fileId":"f"})"));
  service.respond(Endpoint::completeFile, 2, StandInResponse::json(R"({"fileId":"f","referenceId":"r"})"));
  const std::string id = createdTransfer();
  EXPECT_EQ(client.completeFile(id, "f", {}, {}).fileId, "f");
  EXPECT_EQ(client.completeFile(id, "f", {{2, "b"}, {1, "a"}}, {}).referenceId, "r");

  const auto requests = service.requests(Endpoint::completeFile);
  EXPECT_EQ(requests.at(0).body, "{}");
  EXPECT_EQ(nlohmann::json::parse(requests.at(1).body),
            nlohmann::json::parse(R"({"parts":[{"partNumber":2,"etag":"b"},{"partNumber":1,"etag":"a"}]})"));
}

// The service refuses the first token; the request goes once more, with the same bytes, carrying
// the token the provider gives for the rejected one.
TEST_F(TavrelAPIClientTest, A401IsRepeatedOnceWithTheRenewedTokenAndTheSameBody) {
  service.setAcceptedTokens({"token-2"});
  const std::string id = createdTransfer();
  EXPECT_FALSE(id.empty());
  EXPECT_EQ(tokens->rejectedTokens(), std::vector<std::string>{"token-1"});
  const auto requests = service.requests(Endpoint::createTransfer);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].header("Authorization"), "Bearer token-1");
  EXPECT_EQ(requests[1].header("Authorization"), "Bearer token-2");
  EXPECT_EQ(requests[0].bodySha256, requests[1].bodySha256);
  EXPECT_EQ(requests[0].bodySize, requests[1].bodySize);
}

TEST_F(TavrelAPIClientTest, A401ToTheRepeatIsUnauthorizedWithoutAThirdRequest) {
  service.setAcceptedTokens({});
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::unauthorized());
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 2u);
  EXPECT_EQ(tokens->validCalls(), 1);
  EXPECT_EQ(tokens->rejectedTokens().size(), 1u);
  EXPECT_EQ(TransferAPIError::unauthorized().errorDescription(), "Your session has expired. Please sign in again.");
}

TEST_F(TavrelAPIClientTest, TokenProviderFailuresPassUnchangedAndStopTheRequest) {
  service.setAcceptedTokens({});
  tokens->failRenewal(AccessTokenError::failed("You are signed out."));
  try {
    createdTransfer();
    FAIL() << "expected the provider's error";
  } catch (const AccessTokenUnavailable& error) {
    EXPECT_STREQ(error.what(), "You are signed out.");
  }
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 1u);

  tokens->failValidAccessToken(AccessTokenError::failed("Nobody is signed in."));
  EXPECT_THROW(client.resumeState("tr-1", {}), AccessTokenUnavailable);
  EXPECT_EQ(service.requestCount(Endpoint::resumeState), 0u);
}

TEST_F(TavrelAPIClientTest, AnIdentifierThatFormsNoAddressSendsNothing) {
  EXPECT_EQ(apiErrorOf([&] { client.resumeState("", {}); }), TransferAPIError::invalidResponse());
  EXPECT_EQ(apiErrorOf([&] { client.signSingleUpload("tr-1", "..", {}); }), TransferAPIError::invalidResponse());
  EXPECT_EQ(tokens->validCalls(), 2) << "the token is obtained before the address is built";
  EXPECT_EQ(service.serviceServer().requestCount(), 0u);
}

// A token is written into a header verbatim; one with a line break would let its holder add headers.
TEST_F(TavrelAPIClientTest, TokensWithLineBreaksAreNeverSent) {
  tokens = std::make_shared<testing::ScriptedAccessTokenProvider>(
      std::vector<std::string>{"token-1\r\nX-Injected: yes"});
  TavrelAPIClient hostile{service.webAppURL(), tokens, testing::makeStandInSession()};
  EXPECT_EQ(apiErrorOf([&] { hostile.createTransfer(createRequest(), {}); }), TransferAPIError::unauthorized());
  EXPECT_EQ(service.serviceServer().requestCount(), 0u);
}

TEST_F(TavrelAPIClientTest, AnswersAreClassifiedByStatus) {
  service.respond(Endpoint::createTransfer, 1, StandInResponse::json("", 201));
  service.respond(Endpoint::createTransfer, 2, StandInResponse::json("", 204));
  service.respond(Endpoint::createTransfer, 3,
                  StandInResponse::json(R"({"error":{"code":"quota","message":"Your plan is full."}})", 409));
  StandInResponse html = StandInResponse::json("<html>oops</html>", 500);
  html.contentType = "text/html";
  service.respond(Endpoint::createTransfer, 4, html);
  service.respond(Endpoint::createTransfer, 5, StandInResponse::json(R"({"error":{"code":"quota"}})", 400));
  service.respond(Endpoint::createTransfer, 6,
                  StandInResponse::json(R"({"transferId":"t","expiresAt":"2031-01-31T09:30:00.5Z","expiryDays":7})"));
  service.respond(Endpoint::createTransfer, 7, StandInResponse::json(R"({"error":{"code":"","message":""}})", 503));
  service.respond(Endpoint::createTransfer, 8, StandInResponse::json(R"({"transferId":"t"})", 199 + 1));

  const auto fallback = TransferAPIError::rejected(500, "http_error", "Tavrel rejected the upload request.");
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::invalidResponse());
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::invalidResponse());
  const auto quota = apiErrorOf([&] { createdTransfer(); });
  EXPECT_EQ(quota, TransferAPIError::rejected(409, "quota", "Your plan is full."));
  EXPECT_EQ(quota.errorDescription(), "Your plan is full.");
  const auto serverError = apiErrorOf([&] { createdTransfer(); });
  EXPECT_EQ(serverError, fallback);
  EXPECT_EQ(serverError.errorDescription(), "Tavrel rejected the upload request.");
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }),
            TransferAPIError::rejected(400, "http_error", "Tavrel rejected the upload request."));
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::invalidResponse());
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::rejected(503, "", ""));
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::invalidResponse());
}

TEST_F(TavrelAPIClientTest, ARedirectToAnotherOriginIsRefusedAndItsAnswerRejected) {
  service.respond(Endpoint::createTransfer, 1,
                  StandInResponse::redirect(307, service.serviceServer().localhostUrl("/api/v1/transfers").toString()));
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }),
            TransferAPIError::rejected(307, "http_error", "Tavrel rejected the upload request."));
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 1u);
}

TEST_F(TavrelAPIClientTest, ABrokenConnectionIsTransportUnavailable) {
  service.addFault(Endpoint::createTransfer, 1, Fault::dropBeforeAnswer());
  service.addFault(Endpoint::createTransfer, 2, Fault::dropMidBody());
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::transportUnavailable());
  EXPECT_EQ(apiErrorOf([&] { createdTransfer(); }), TransferAPIError::transportUnavailable());

  TavrelAPIClient unreachable{service.storageURL("/").withQueryItems({}), tokens, testing::makeStandInSession()};
  service.storageServer().stop();
  EXPECT_EQ(apiErrorOf([&] { unreachable.createTransfer(createRequest(), {}); }),
            TransferAPIError::transportUnavailable());
}

// Stopping the task that waits for an answer is the user's cancel: it must not surface as an
// unavailable service, which the engine would retry and the store would show.
TEST_F(TavrelAPIClientTest, AStoppedRequestEndsAsCancelledNotAsAnError) {
  service.addFault(Endpoint::createTransfer, 1, Fault::stall());
  std::stop_source stop;
  auto call = std::async(std::launch::async, [&] { client.createTransfer(createRequest(), stop.get_token()); });
  ASSERT_TRUE(service.serviceServer().waitForRequestsStarted(1, 10s));
  stop.request_stop();
  ASSERT_EQ(call.wait_for(10s), std::future_status::ready);
  EXPECT_THROW(call.get(), Cancelled);
}

TEST_F(TavrelAPIClientTest, DeleteNeverFails) {
  client.deleteTransfer("no-such-transfer", {});
  EXPECT_EQ(service.requests(Endpoint::deleteTransfer).size(), 1u);

  tokens->failValidAccessToken(AccessTokenError::failed("Nobody is signed in."));
  client.deleteTransfer("tr-1", {});

  TavrelAPIClient unreachable{service.storageURL("/"), std::make_shared<testing::ScriptedAccessTokenProvider>(),
                              testing::makeStandInSession()};
  service.storageServer().stop();
  unreachable.deleteTransfer("tr-1", {});
  EXPECT_EQ(service.requests(Endpoint::deleteTransfer).size(), 1u);
}

TEST_F(TavrelAPIClientTest, CompletionAndResumeStateDecodeTheServiceRecords) {
  service.respond(Endpoint::completeTransfer, 1,
                  StandInResponse::json(R"({"completed":true,"id":"tr","slug":"abc","isFirstTransfer":true})"));
  service.respond(Endpoint::resumeState, 1, StandInResponse::json(R"({"transferId":"tr","resumable":true,
      "totalBytes":20,"bytesUploaded":10,"files":[{"fileId":"f","expectedSize":20,"status":"uploading",
      "bytesUploaded":10,"completedParts":[{"partNumber":1,"etag":"e1"}],"localFileId":"REF"}]})"));
  const auto completion = client.completeTransfer("tr", {});
  EXPECT_TRUE(completion.completed);
  EXPECT_EQ(completion.slug, "abc");
  EXPECT_EQ(completion.recentTransfer, std::nullopt);
  const auto state = client.resumeState("tr", {});
  ASSERT_EQ(state.files.size(), 1u);
  EXPECT_EQ(state.files[0].completedParts, (std::vector<CompletedUploadPart>{{1, "e1"}}));
  EXPECT_EQ(state.files[0].localFileId, "REF");
  EXPECT_EQ(service.requests(Endpoint::completeTransfer).at(0).body, "{}");
}

}  // namespace
}  // namespace tavrel
