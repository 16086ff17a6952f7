#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "account/authentication_api_client.h"
#include "platform/curl_transport.h"
#include "service/http_session.h"
#include "support/https_test_server.h"

namespace tavrel {
namespace {

using Kind = AuthenticationError::Kind;
using testing::HttpsTestServer;
using testing::StandInResponse;

std::shared_ptr<platform::HttpTransport> testSession() {
  return std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{},
                                                   platform::CurlTransportOptions{testing::testCertificateAuthorityFile()});
}

TEST(AuthenticationAPIClientFormTest, SortsAndEncodesEveryField) {
  EXPECT_EQ(AuthenticationAPIClient::formBody({{"resource", "https://app.tavrel.test:8443/api"},
                                               {"code", "a b&c=d+e"},
                                               {"client_id", "tavrel-macos"},
                                               {"name", "Zo\u00eb ~._-"}}),
            "client_id=tavrel-macos&code=a%20b%26c%3Dd%2Be&name=Zo%C3%AB%20~._-"
            "&resource=https%3A%2F%2Fapp.tavrel.test%3A8443%2Fapi");
}

class AuthenticationAPIClientTest : public ::testing::Test {
 protected:
  void answerToken(StandInResponse response) {
    server.route("POST", "/api/auth/oauth2/token", [response](const auto&) { return response; });
  }
  Kind tokenFailure() {
    const auto result = client.refresh("the-refresh-token", {});
    EXPECT_FALSE(result);
    return result ? Kind::oauth : result.error().kind();
  }
  Kind bootstrapFailure() {
    const auto result = client.bootstrap("the-access-token", {});
    EXPECT_FALSE(result);
    return result ? Kind::oauth : result.error().kind();
  }

  HttpsTestServer server;
  AuthenticationAPIClient client{OAuthConfiguration{server.url("/")}, testSession()};
};

TEST_F(AuthenticationAPIClientTest, SendsTheExchangeAsASortedForm) {
  answerToken(StandInResponse::json(
      R"({"access_token":"a","token_type":"Bearer","expires_in":3599.5,"scope":"openid","refresh_token":"r"})"));
  const auto result = client.exchange("the-code", "the-verifier", {});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->expiresIn, 3599.5);
  EXPECT_EQ(result->refreshToken, std::optional<std::string>("r"));

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/api/auth/oauth2/token");
  EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].header("Accept"), "application/json");
  EXPECT_EQ(requests[0].body,
            "client_id=tavrel-macos&code=the-code&code_verifier=the-verifier&grant_type=authorization_code"
            "&redirect_uri=com.tavrel.macos%3A%2Foauth%2Fcallback&resource=https%3A%2F%2F127.0.0.1%3A" +
                std::to_string(server.port()) + "%2Fapi");
}

TEST_F(AuthenticationAPIClientTest, SendsRefreshAndRevokeForms) {
  answerToken(StandInResponse::json(R"({"access_token":"a","token_type":"Bearer","expires_in":60,"scope":"openid"})"));
  server.route("POST", "/api/auth/oauth2/revoke", [](const auto&) { return StandInResponse::json("{}", 400); });
  const auto refreshed = client.refresh("r 1", {});
  ASSERT_TRUE(refreshed);
  EXPECT_EQ(refreshed->refreshToken, std::nullopt);  // decodes; the store refuses it
  client.revoke("r 1", {});

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].body, "client_id=tavrel-macos&grant_type=refresh_token&refresh_token=r%201&resource=https%3A%2F%2F127.0.0.1%3A" +
                                  std::to_string(server.port()) + "%2Fapi");
  EXPECT_EQ(requests[1].path, "/api/auth/oauth2/revoke");
  EXPECT_EQ(requests[1].body, "client_id=tavrel-macos&token=r%201&token_type_hint=refresh_token");
  EXPECT_EQ(requests[1].header("Accept"), std::nullopt);
}

TEST_F(AuthenticationAPIClientTest, ClassifiesTokenErrorAnswers) {
  answerToken(StandInResponse::json(R"({"error":"invalid_grant"})", 400));
  EXPECT_EQ(tokenFailure(), Kind::invalidGrant);
  answerToken(StandInResponse::json(R"({"error":"invalid_grant","error_description":"x"})", 401));
  EXPECT_EQ(tokenFailure(), Kind::invalidGrant);
  answerToken(StandInResponse::json("<html>no</html>", 401));
  EXPECT_EQ(tokenFailure(), Kind::unauthorized);

  answerToken(StandInResponse::json(R"({"error":"invalid_request","error_description":"bad"})", 400));
  auto result = client.refresh("r", {});
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), AuthenticationError::oauth("invalid_request", std::nullopt));
  answerToken(StandInResponse::json("<html>down</html>", 500));
  result = client.refresh("r", {});
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), AuthenticationError::oauth("token_error", std::nullopt));

  // Only 200 is success.
  answerToken(StandInResponse::json(R"({"access_token":"a","token_type":"Bearer","expires_in":60,"scope":"openid"})", 201));
  EXPECT_EQ(tokenFailure(), Kind::oauth);
  answerToken(StandInResponse::json(R"({"access_token":"a","token_type":"Bearer","expires_in":60})"));
  EXPECT_EQ(tokenFailure(), Kind::unexpectedResponse);
  answerToken(StandInResponse::json(R"({"access_token":"a","token_type":"Bearer","expires_in":"60","scope":"openid"})"));
  EXPECT_EQ(tokenFailure(), Kind::unexpectedResponse);
}

TEST_F(AuthenticationAPIClientTest, ClassifiesBootstrapAnswers) {
  std::atomic<int> status{500};
  server.route("GET", "/api/v1/bootstrap", [&](const auto&) { return StandInResponse::json("{}", status.load()); });
  EXPECT_EQ(bootstrapFailure(), Kind::transportUnavailable);
  status = 403;
  EXPECT_EQ(bootstrapFailure(), Kind::transportUnavailable);
  status = 401;
  EXPECT_EQ(bootstrapFailure(), Kind::unauthorized);
  status = 200;
  EXPECT_EQ(bootstrapFailure(), Kind::unexpectedResponse);

  const auto requests = server.requests();
  EXPECT_EQ(requests.back().header("Authorization"), "Bearer the-access-token");
  EXPECT_EQ(requests.back().header("Accept"), "application/json");
}

TEST(AuthenticationAPIClientUnreachableTest, AnUnreachableServerIsTemporarilyUnavailable) {
  // A port of our own where nothing listens.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  // Bound but never listening: connections are refused, and no other test's server can take the port.
  const std::unique_ptr<const int, void (*)(const int*)> reserved(&probe, [](const int* fd) { ::close(*fd); });
  const auto gone = *platform::Url::parse("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/");
  AuthenticationAPIClient client{OAuthConfiguration{gone}, testSession()};
  const auto refreshed = client.refresh("r", {});
  ASSERT_FALSE(refreshed);
  EXPECT_EQ(refreshed.error().kind(), Kind::transportUnavailable);
  const auto bootstrap = client.bootstrap("a", {});
  ASSERT_FALSE(bootstrap);
  EXPECT_EQ(bootstrap.error().kind(), Kind::transportUnavailable);
  client.revoke("r", {});  // completes without a word
}

}  // namespace
}  // namespace tavrel
