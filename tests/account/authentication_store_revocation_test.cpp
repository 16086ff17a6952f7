// Quitting while a sign-out's revocation or a renewal is still on its way: a bounded wait, then the
// work is stopped and its thread has ended before the process goes on to tear down; a renewal the
// service answered keeps its new refresh token.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "account/authentication_store.h"
#include "platform/manual_main_queue.h"
#include "support/in_memory_refresh_token_store.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using Kind = AuthenticationError::Kind;

class UnusedBrowser final : public WebAuthenticating {
 public:
  void authenticate(const platform::Url&, std::string_view, Completion completion) override {
    completion(platform::unexpected(AuthenticationError(Kind::authorizationCancelled)));
  }
  void cancel() override {}
};

// A revocation that hangs like a request to a service that does not answer, until it is stopped or
// let through. A renewal hangs the same way, but its answer arrives either way: the service has
// already retired the token it renews (the answer came in just as the program stopped waiting).
class HangingRevocation final : public AuthenticationAPI {
 public:
  TokenResult exchange(std::string_view, std::string_view, std::stop_token) override { return unavailable(); }
  TokenResult refresh(std::string_view token, std::stop_token stop) override {
    std::unique_lock lock(mutex);
    renewed = std::string(token);
    changed.notify_all();
    changed.wait(lock, stop, [&] { return letThrough; });
    stopped = !letThrough;
    ended = true;
    return OAuthTokenResponse{"access-next", "Bearer", 3600, "refresh-next",
                              "openid offline_access account:read transfers:create transfers:read"};
  }
  BootstrapResult bootstrap(std::string_view, std::stop_token) override {
    return platform::unexpected(AuthenticationError(Kind::transportUnavailable));
  }
  void revoke(std::string_view token, std::stop_token stop) override {
    std::unique_lock lock(mutex);
    revoked = std::string(token);
    changed.notify_all();
    changed.wait(lock, stop, [&] { return letThrough; });
    stopped = !letThrough;
    ended = true;
  }

  bool waitUntilRevoking() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return revoked.has_value(); });
  }
  bool waitUntilRenewing() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return renewed.has_value(); });
  }
  void letItThrough() {
    std::lock_guard lock(mutex);
    letThrough = true;
    changed.notify_all();
  }

  std::mutex mutex;
  std::condition_variable_any changed;
  std::optional<std::string> revoked;
  std::optional<std::string> renewed;
  bool letThrough = false;
  bool stopped = false;
  bool ended = false;

 private:
  static TokenResult unavailable() { return platform::unexpected(AuthenticationError(Kind::transportUnavailable)); }
};

class AuthenticationStoreRevocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = AuthenticationStore::make(OAuthConfiguration{*platform::Url::parse("https://app.tavrel.test/")}, api,
                                      keychain, std::make_shared<UnusedBrowser>(), queue,
                                      [] { return std::chrono::system_clock::now(); });
  }

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  std::shared_ptr<testing::InMemoryRefreshTokenStore> keychain =
      std::make_shared<testing::InMemoryRefreshTokenStore>("refresh-stored");
  std::shared_ptr<HangingRevocation> api = std::make_shared<HangingRevocation>();
  std::shared_ptr<AuthenticationStore> store;
};

TEST_F(AuthenticationStoreRevocationTest, QuittingStopsARevocationThatOutlastsTheGraceAndWaitsForItsEnd) {
  store->signOut();
  ASSERT_TRUE(api->waitUntilRevoking());
  EXPECT_EQ(api->revoked, std::optional<std::string>("refresh-stored"));

  store->finishBackgroundWork(0ms);
  std::lock_guard lock(api->mutex);
  EXPECT_TRUE(api->ended) << "a revocation still runs after quitting";
  EXPECT_TRUE(api->stopped);
}

TEST_F(AuthenticationStoreRevocationTest, QuittingLetsARevocationFinishWithinTheGrace) {
  store->signOut();
  std::jthread service([this] {
    if (api->waitUntilRevoking()) api->letItThrough();
  });
  store->finishBackgroundWork(1min);
  std::lock_guard lock(api->mutex);
  EXPECT_TRUE(api->ended);
  EXPECT_FALSE(api->stopped) << "the revocation was cut short within the grace";
}

// The store is gone only when the program ends: nothing it started may run on.
TEST_F(AuthenticationStoreRevocationTest, TheStoresEndStopsARunningRevocation) {
  store->signOut();
  ASSERT_TRUE(api->waitUntilRevoking());
  store.reset();
  std::lock_guard lock(api->mutex);
  EXPECT_TRUE(api->ended);
  EXPECT_TRUE(api->stopped);
  EXPECT_EQ(keychain->token(), std::nullopt);
}

// The start's renewal, stopped by a quit once the service has answered: the next start needs the new
// token, since the stored one is retired.
TEST_F(AuthenticationStoreRevocationTest, QuittingDuringTheStartsRenewalKeepsTheTokenTheServiceGranted) {
  store->restore();
  ASSERT_TRUE(api->waitUntilRenewing());
  EXPECT_EQ(api->renewed, std::optional<std::string>("refresh-stored"));

  store->finishBackgroundWork(0ms);
  {
    std::lock_guard lock(api->mutex);
    EXPECT_TRUE(api->ended) << "a renewal still runs after quitting";
    EXPECT_TRUE(api->stopped);
  }
  store.reset();
  EXPECT_EQ(keychain->token(), std::optional<std::string>("refresh-next"));
}

TEST_F(AuthenticationStoreRevocationTest, QuittingLetsARenewalFinishWithinTheGrace) {
  store->restore();
  std::jthread service([this] {
    if (api->waitUntilRenewing()) api->letItThrough();
  });
  store->finishBackgroundWork(1min);
  {
    std::lock_guard lock(api->mutex);
    EXPECT_TRUE(api->ended);
    EXPECT_FALSE(api->stopped) << "the renewal was cut short within the grace";
  }
  EXPECT_EQ(keychain->token(), std::optional<std::string>("refresh-next"));
}

}  // namespace
}  // namespace tavrel
