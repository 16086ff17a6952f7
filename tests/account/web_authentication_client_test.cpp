#include <gtest/gtest.h>

#include <list>
#include <optional>

#include "account/web_authentication_client.h"
#include "platform/manual_main_queue.h"

namespace tavrel {
namespace {

using Kind = AuthenticationError::Kind;
using Result = platform::Expected<std::string, AuthenticationError>;
using Handling = WebAuthenticationClient::CallbackHandling;

class RecordingBrowser final : public platform::BrowserLaunching {
 public:
  void open(const platform::Url& url, std::function<void(bool)> completion) override {
    opened.push_back(url.toString());
    completions.push_back(std::move(completion));
  }
  std::vector<std::string> opened;
  std::vector<std::function<void(bool)>> completions;
};

class WebAuthenticationClientTest : public ::testing::Test {
 protected:
  std::optional<Result>& start() {
    results.emplace_back();
    auto* slot = &results.back();
    client.authenticate(url, "com.tavrel.macos", [slot](Result result) { *slot = std::move(result); });
    return *slot;
  }
  static Kind kindOf(const std::optional<Result>& result) {
    EXPECT_TRUE(result && !result->hasValue());
    return result && !result->hasValue() ? result->error().kind() : Kind::oauth;
  }

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  std::shared_ptr<RecordingBrowser> browser = std::make_shared<RecordingBrowser>();
  WebAuthenticationClient client{queue, browser};
  platform::Url url = *platform::Url::parse("https://app.tavrel.test/api/auth/oauth2/authorize?state=s");
  std::list<std::optional<Result>> results;
};

TEST_F(WebAuthenticationClientTest, ReturnsTheCallbackAddressTheProgramWasHanded) {
  auto& result = start();
  EXPECT_EQ(browser->opened, std::vector<std::string>{url.toString()});
  EXPECT_EQ(client.handleCallbackURL("https://elsewhere.test/"), Handling::notACallback);
  EXPECT_EQ(client.handleCallbackURL("no scheme"), Handling::notACallback);
  EXPECT_EQ(client.handleCallbackURL("COM.Tavrel.macos:/oauth/callback?code=c&state=s"), Handling::taken);
  EXPECT_FALSE(result) << "completed inside the call";
  queue->runUntilIdle();
  ASSERT_TRUE(result && result->hasValue());
  EXPECT_EQ(result->value(), "COM.Tavrel.macos:/oauth/callback?code=c&state=s");
  EXPECT_FALSE(client.isRunning());
  EXPECT_EQ(client.handleCallbackURL("com.tavrel.macos:/oauth/callback?code=again&state=s"), Handling::noSignInWaiting);
}

// Any local program can hand us a callback: one without this sign-in's state must not end it.
TEST_F(WebAuthenticationClientTest, ACallbackForAnotherSignInIsIgnoredAndTheRealOneStillEndsIt) {
  auto& result = start();
  for (const char* stray : {"com.tavrel.macos:/oauth/callback?code=c&state=other",
                            "com.tavrel.macos:/oauth/callback?code=c",
                            "com.tavrel.macos:/oauth/callback?code=c&state=s&state=s",
                            "com.tavrel.macos:/oauth/callback?code=c&state=S",
                            "com.tavrel.macos:/oauth/callback?error=access_denied&state=",
                            "com.tavrel.macos:%zz"}) {
    SCOPED_TRACE(stray);
    EXPECT_EQ(client.handleCallbackURL(stray), Handling::otherSignIn);
  }
  queue->runUntilIdle();
  EXPECT_FALSE(result);
  EXPECT_TRUE(client.isRunning());

  ASSERT_EQ(client.handleCallbackURL("com.tavrel.macos:/oauth/callback?state=s&code=real"), Handling::taken);
  queue->runUntilIdle();
  ASSERT_TRUE(result && result->hasValue());
  EXPECT_EQ(result->value(), "com.tavrel.macos:/oauth/callback?state=s&code=real");
}

TEST_F(WebAuthenticationClientTest, ASecondSignInIsRefusedWhileTheFirstRuns) {
  auto& first = start();
  auto& second = start();
  queue->runUntilIdle();
  EXPECT_EQ(kindOf(second), Kind::authorizationInProgress);
  EXPECT_FALSE(first);
  EXPECT_EQ(browser->opened.size(), 1u);
  ASSERT_EQ(client.handleCallbackURL("com.tavrel.macos:/oauth/callback?code=c&state=s"), Handling::taken);
  queue->runUntilIdle();
  ASSERT_TRUE(first && first->hasValue());
}

TEST_F(WebAuthenticationClientTest, CancellingEndsTheWaitAndANewSignInCanStart) {
  client.cancel();  // nothing running: nothing happens
  auto& first = start();
  client.cancel();
  queue->runUntilIdle();
  EXPECT_EQ(kindOf(first), Kind::authorizationCancelled);

  auto& second = start();
  EXPECT_EQ(browser->opened.size(), 2u);
  ASSERT_EQ(client.handleCallbackURL("com.tavrel.macos:/oauth/callback?state=s"), Handling::taken);
  queue->runUntilIdle();
  EXPECT_TRUE(second && second->hasValue());
}

TEST_F(WebAuthenticationClientTest, ABrowserThatCannotStartFailsTheSignIn) {
  auto& first = start();
  browser->completions[0](false);
  queue->runUntilIdle();
  EXPECT_EQ(kindOf(first), Kind::transportUnavailable);
  EXPECT_FALSE(client.isRunning());

  // A late report about an earlier sign-in's browser leaves the current one alone.
  auto& second = start();
  browser->completions[0](false);
  browser->completions[1](true);
  queue->runUntilIdle();
  EXPECT_FALSE(second);
  EXPECT_TRUE(client.isRunning());
}

}  // namespace
}  // namespace tavrel
