#include "service/http_session.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/https_test_server.h"

namespace tavrel {
namespace {

platform::Url url(const char* text) { return platform::Url::parse(text).value(); }

TEST(IsSameOriginTest, ComparesSchemeHostAndEffectivePort) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"https://tavrel.test/a", "HTTPS://TAVREL.test:443/b?x", true},
      {"https://tavrel.test", "https://tavrel.test:8443", false},
      {"http://tavrel.test", "https://tavrel.test", false},
      {"http://tavrel.test/", "http://tavrel.test:80/x", true},
      {"http://tavrel.test:443/", "https://tavrel.test/", false},
      {"https://tavrel.test", "https://other.test", false},
      {"https://tavrel.test", "https://storage.tavrel.test", false},
      {"https://[::1]:8443/", "https://[::1]:8443/x", true},
      {"https://[::1]/", "https://[0:0::1]/", false},  // hosts compare as text
      {"ftp://tavrel.test/a", "ftp://tavrel.test/b", true},  // no effective port on either side
      {"ftp://tavrel.test:21/a", "ftp://tavrel.test/b", false},  // a port against none
      {"mailto:a@tavrel.test", "mailto:a@tavrel.test", false},  // no host
      {"file:///tmp/a", "file:///tmp/a", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isSameOrigin(url(c.a), url(c.b)), c.same) << c.a << " vs " << c.b;
    EXPECT_EQ(isSameOrigin(url(c.b), url(c.a)), c.same) << c.b << " vs " << c.a;
  }
}

TEST(SameOriginRedirectDelegateTest, RefusesAMissingAddress) {
  EXPECT_FALSE(SameOriginRedirectDelegate::allowsRedirect(url("https://tavrel.test/a"), platform::Url{}));
  EXPECT_FALSE(SameOriginRedirectDelegate::allowsRedirect(platform::Url{}, url("https://tavrel.test/a")));
  EXPECT_TRUE(SameOriginRedirectDelegate::allowsRedirect(url("https://tavrel.test/a"), url("https://tavrel.test:443/b")));
}

TEST(SharedSessionsTest, AreMadeOnceAndAreDistinct) {
  EXPECT_EQ(sharedAPISession(), sharedAPISession());
  EXPECT_EQ(sharedUploadSession(), sharedUploadSession());
  EXPECT_NE(sharedAPISession(), sharedUploadSession());
  EXPECT_NE(makeUploadURLSession(), makeUploadURLSession());
}

// The factory's session against a real server: trusted through SSL_CERT_FILE as a deployment
// with its own authority would be.
class UploadURLSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SSL_CERT_FILE", testing::testCertificateAuthorityFile().c_str(), 1);
    session = makeUploadURLSession();
  }
  void TearDown() override { ::unsetenv("SSL_CERT_FILE"); }

  platform::HttpRequest get(platform::Url url) {
    platform::HttpRequest request;
    request.url = std::move(url);
    return request;
  }

  testing::HttpsTestServer server;
  std::shared_ptr<platform::HttpTransport> session;
};

TEST_F(UploadURLSessionTest, SendsNoCookieAndStoresNone) {
  server.route("GET", "/login", [](const testing::RecordedRequest&) {
    auto answer = testing::StandInResponse::json("{}");
    answer.headers.push_back({"Set-Cookie", "session=abc; Path=/; Secure"});
    return answer;
  });
  ASSERT_TRUE(session->send(get(server.url("/login"))));
  ASSERT_TRUE(session->send(get(server.url("/after"))));
  ASSERT_TRUE(makeUploadURLSession()->send(get(server.url("/fresh"))));
  for (const auto& received : server.requests()) EXPECT_FALSE(received.header("Cookie")) << received.path;
}

TEST_F(UploadURLSessionTest, FollowsRedirectsOnlyWithinTheOrigin) {
  server.route("GET", "/same", [](const testing::RecordedRequest&) {
    return testing::StandInResponse::redirect(302, "/target");
  });
  server.route("GET", "/elsewhere", [&](const testing::RecordedRequest&) {
    return testing::StandInResponse::redirect(302, server.localhostUrl("/target").toString());
  });
  server.route("GET", "/target", [](const testing::RecordedRequest&) { return testing::StandInResponse::json("{}"); });

  const auto followed = session->send(get(server.url("/same")));
  ASSERT_TRUE(followed);
  EXPECT_EQ(followed->status, 200);
  EXPECT_EQ(followed->url.path(), "/target");

  const auto refused = session->send(get(server.url("/elsewhere")));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 302);
  EXPECT_EQ(server.requestCount(), 3u);
}

}  // namespace
}  // namespace tavrel
