#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "account/authentication_api_client.h"
#include "account/authentication_store.h"
#include "account/web_authentication_client.h"
#include "platform/curl_transport.h"
#include "platform/logger.h"
#include "platform/manual_main_queue.h"
#include "service/http_session.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/stand_in_auth_server.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using namespace authentication_state;
using TokenFault = testing::StandInAuthServer::TokenFault;

std::shared_ptr<platform::HttpTransport> testSession() {
  return std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{},
                                                   platform::CurlTransportOptions{testing::testCertificateAuthorityFile()});
}

// Plays the user's browser: loads the authorize page from the stand-in and, like the desktop's scheme
// handler and the single-instance channel, hands the callback address to the waiting sign-in.
class ScriptedBrowser final : public platform::BrowserLaunching {
 public:
  ScriptedBrowser(std::shared_ptr<platform::MainQueue> queue, std::function<void(std::string)> deliver)
      : queue_(std::move(queue)), deliver_(std::move(deliver)) {}
  ~ScriptedBrowser() override { threads_.clear(); }

  void open(const platform::Url& url, std::function<void(bool)> completion) override {
    opened.push_back(url.toString());
    if (!deliversCallback) return;
    threads_.emplace_back([this, url, completion = std::move(completion)] {
      // No redirect decider: the redirect to the program's scheme comes back as the 302 itself.
      platform::CurlTransport trusting({}, platform::CurlTransportOptions{testing::testCertificateAuthorityFile()});
      platform::HttpRequest request;
      request.url = url;
      const auto response = trusting.send(request);
      queue_->post([completion] { completion(true); });
      if (!response || response->status != 302) return;
      queue_->post([this, location = response->header("Location").value_or("")] { deliver_(location); });
    });
  }

  std::vector<std::string> opened;
  bool deliversCallback = true;

 private:
  std::shared_ptr<platform::MainQueue> queue_;
  std::function<void(std::string)> deliver_;
  std::vector<std::jthread> threads_;
};

std::mutex logMutex;
std::vector<std::string> logLines;

class SignInFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousSink = platform::Logger::setSink([](platform::LogLevel, std::string_view line) {
      std::lock_guard lock(logMutex);
      logLines.emplace_back(line);
    });
    const OAuthConfiguration configuration{auth.webAppURL()};
    store = AuthenticationStore::make(configuration, std::make_shared<AuthenticationAPIClient>(configuration, testSession()),
                                      keychain, web, queue, [] { return std::chrono::system_clock::now(); });
  }
  void TearDown() override {
    store.reset();
    platform::Logger::setSink(previousSink);
  }

  bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (true) {
      queue->runUntilIdle();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
  }
  template <typename State>
  bool reaches() {
    return waitFor([&] { return std::holds_alternative<State>(store->state()); });
  }
  void signOutFirst() {
    store->restore();
    ASSERT_TRUE(reaches<SignedOut>());
  }

  platform::Logger::Sink previousSink = nullptr;
  testing::StandInAuthServer auth;
  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  std::shared_ptr<testing::InMemoryRefreshTokenStore> keychain = std::make_shared<testing::InMemoryRefreshTokenStore>();
  std::shared_ptr<ScriptedBrowser> browser = std::make_shared<ScriptedBrowser>(queue, [this](std::string url) {
    EXPECT_EQ(web->handleCallbackURL(url), WebAuthenticationClient::CallbackHandling::taken);
  });
  std::shared_ptr<WebAuthenticationClient> web = std::make_shared<WebAuthenticationClient>(queue, browser);
  std::shared_ptr<AuthenticationStore> store;
};

TEST_F(SignInFlowTest, SignsInThroughTheBrowserAndSignsOutWithARevoke) {
  signOutFirst();
  store->signIn();
  EXPECT_TRUE(std::holds_alternative<Authorizing>(store->state()));
  ASSERT_TRUE(reaches<Authenticated>());
  EXPECT_EQ(auth.tokenRequestCount("authorization_code"), 1u);
  ASSERT_EQ(browser->opened.size(), 1u);
  EXPECT_NE(browser->opened[0].find("code_challenge_method=S256"), std::string::npos);
  const auto refreshToken = keychain->token();
  ASSERT_TRUE(refreshToken);
  EXPECT_TRUE(auth.isRefreshTokenValid(*refreshToken));
  const auto accessToken = std::get<Authenticated>(store->state()).account.accessToken;

  store->signOut();
  EXPECT_TRUE(std::holds_alternative<SignedOut>(store->state()));
  ASSERT_TRUE(waitFor([&] { return auth.revokeRequestCount() == 1; }));
  EXPECT_EQ(auth.revokedTokens(), std::vector<std::string>{*refreshToken});
  EXPECT_TRUE(waitFor([&] { return !keychain->token(); }));

  // Neither token nor code reaches the log.
  std::lock_guard lock(logMutex);
  for (const auto& line : logLines) {
    EXPECT_EQ(line.find(*refreshToken), std::string::npos) << line;
    EXPECT_EQ(line.find(accessToken), std::string::npos) << line;
    EXPECT_EQ(line.find("code-"), std::string::npos) << line;
  }
}

// The user has allowed the sign-in in the browser; a refusal after that must be said, not end
// silently on the welcome screen, and must leave no token for the retry to restore.
TEST_F(SignInFlowTest, ASignInRefusedAfterTheBrowserSaysSoAndRetryEndsSignedOut) {
  signOutFirst();
  struct Case {
    const char* name;
    std::function<void()> arrange;
  };
  for (const auto& [name, arrange] : {
           Case{"invalid grant at the exchange", [&] { auth.failTokenRequests(TokenFault::invalidGrant); }},
           Case{"a required scope missing", [&] { auth.failTokenRequests(TokenFault::missingScope); }},
           Case{"the bootstrap refused", [&] { auth.rejectBootstraps(1); }},
       }) {
    SCOPED_TRACE(name);
    arrange();
    const auto exchanges = auth.tokenRequestCount("authorization_code");
    store->signIn();
    ASSERT_TRUE(reaches<TemporarilyUnavailable>());
    EXPECT_EQ(std::get<TemporarilyUnavailable>(store->state()).message, "Tavrel couldn\u2019t complete sign in.");
    EXPECT_EQ(auth.tokenRequestCount("authorization_code"), exchanges + 1);

    // At once, before the refused attempt's token is surely gone: the retry must not restore it.
    store->retry();
    EXPECT_TRUE(std::holds_alternative<Restoring>(store->state()));
    ASSERT_TRUE(reaches<SignedOut>());
    EXPECT_EQ(keychain->token(), std::nullopt);
    EXPECT_EQ(auth.tokenRequestCount("refresh_token"), 0u);  // neither a renewal in sign-in nor a restore
  }
}

// Once a sign-in has run, restore and renewal still sign out for an expired session.
TEST_F(SignInFlowTest, AfterASignInAnExpiredSessionStillSignsOut) {
  signOutFirst();
  auth.failBootstraps(500);
  store->signIn();
  ASSERT_TRUE(reaches<TemporarilyUnavailable>());
  EXPECT_EQ(std::get<TemporarilyUnavailable>(store->state()).message,
            "Tavrel is temporarily unavailable. Check your connection and retry.");
  ASSERT_TRUE(waitFor([&] { return keychain->token().has_value(); }));  // kept for the retry

  auth.failBootstraps(200);
  auth.failTokenRequests(TokenFault::invalidGrant);
  store->retry();
  ASSERT_TRUE(reaches<SignedOut>());
  EXPECT_EQ(auth.tokenRequestCount("refresh_token"), 1u);
  EXPECT_TRUE(waitFor([&] { return !keychain->token(); }));

  store->signIn();
  ASSERT_TRUE(reaches<Authenticated>());
  auth.failTokenRequests(TokenFault::invalidGrant);
  queue->advance(3540s);
  ASSERT_TRUE(reaches<SignedOut>());
  EXPECT_EQ(auth.tokenRequestCount("refresh_token"), 2u);
  EXPECT_TRUE(waitFor([&] { return !keychain->token(); }));
}

TEST_F(SignInFlowTest, SignOutWhileTheBrowserIsOpenEndsTheSignIn) {
  signOutFirst();
  browser->deliversCallback = false;
  store->signIn();
  EXPECT_TRUE(web->isRunning());
  store->signIn();  // already authorizing: no second browser session
  queue->runUntilIdle();
  EXPECT_EQ(browser->opened.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<Authorizing>(store->state()));
  store->signOut();
  EXPECT_FALSE(web->isRunning());
  queue->runUntilIdle();
  EXPECT_TRUE(std::holds_alternative<SignedOut>(store->state()));

  // A fresh sign-in starts a new browser session.
  browser->deliversCallback = true;
  store->signIn();
  ASSERT_TRUE(reaches<Authenticated>());
  EXPECT_EQ(browser->opened.size(), 2u);
}

// The exchange's answer, should it still come, is neither saved nor published after sign-out.
TEST_F(SignInFlowTest, SignOutWhileTheCodeIsExchangedSticks) {
  signOutFirst();
  auth.holdTokenRequests();
  store->signIn();
  ASSERT_TRUE(waitFor([&] { return auth.tokenRequestCount("authorization_code") == 1; }));
  store->signOut();
  auth.releaseTokenRequests();
  ASSERT_TRUE(auth.server().waitForRequests(auth.server().requestCount(), 20s));
  std::vector<AuthenticationState> states;
  auto subscription = store->subscribe([&](const AuthenticationState& state) { states.push_back(state); });
  store.reset();  // waits for the exchange's worker
  queue->runUntilIdle();
  ASSERT_EQ(states.size(), 1u);  // the current value, given on subscribing
  EXPECT_TRUE(std::holds_alternative<SignedOut>(states[0]));
  EXPECT_EQ(keychain->token(), std::nullopt);
  EXPECT_TRUE(keychain->savedTokens().empty());
  EXPECT_EQ(auth.bootstrapRequestCount(), 0u);
}

// A callback that another program makes up while the browser is open neither ends the sign-in nor
// reaches the service; the browser's own callback then signs in.
TEST_F(SignInFlowTest, AForgedCallbackIsIgnoredAndTheBrowsersOwnStillSignsIn) {
  signOutFirst();
  browser->deliversCallback = false;
  store->signIn();
  EXPECT_EQ(web->handleCallbackURL("com.tavrel.macos:/oauth/callback?code=stolen&state=guess&iss=x"),
            WebAuthenticationClient::CallbackHandling::otherSignIn);
  queue->runUntilIdle();
  EXPECT_TRUE(std::holds_alternative<Authorizing>(store->state()));
  EXPECT_EQ(auth.tokenRequestCount("authorization_code"), 0u);

  // The browser's page, still open, sends its answer.
  browser->deliversCallback = true;
  browser->open(*platform::Url::parse(browser->opened.at(0)), [](bool) {});
  ASSERT_TRUE(reaches<Authenticated>());
  EXPECT_EQ(auth.tokenRequestCount("authorization_code"), 1u);
}

}  // namespace
}  // namespace tavrel
