#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "account/authentication_api_client.h"
#include "account/authentication_store.h"
#include "platform/curl_transport.h"
#include "platform/json.h"
#include "platform/manual_main_queue.h"
#include "service/http_session.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/stand_in_auth_server.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using namespace authentication_state;
using Kind = AuthenticationError::Kind;
using testing::StandInAuthServer;
using TokenFault = StandInAuthServer::TokenFault;

// The browser is never reached in these tests; the full sign-in has its own.
class UnusedBrowser final : public WebAuthenticating {
 public:
  void authenticate(const platform::Url&, std::string_view, Completion completion) override {
    completion(platform::unexpected(AuthenticationError(Kind::authorizationCancelled)));
  }
  void cancel() override { ++cancels; }
  int cancels = 0;
};

std::shared_ptr<platform::HttpTransport> testSession() {
  return std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{},
                                                   platform::CurlTransportOptions{testing::testCertificateAuthorityFile()});
}

// The store against the sign-in stand-in over real TLS, on the manual queue with virtual time.
class AuthenticationStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { makeStore(auth.webAppURL()); }

  void makeStore(const platform::Url& webAppURL) {
    store = AuthenticationStore::make(OAuthConfiguration{webAppURL},
                                      std::make_shared<AuthenticationAPIClient>(OAuthConfiguration{webAppURL}, testSession()),
                                      keychain, browser, queue, [queue = queue] {
                                        return std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 55)) +
                                               std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                                   queue->clock().now().time_since_epoch());
                                      });
    subscription = store->subscribe([this](const AuthenticationState& state) { states.push_back(state); });
  }

  // Drains the main queue while real threads (HTTP, the secret store) do their part.
  bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      queue->runUntilIdle();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
  }
  bool settlesIn(auto predicate) { return waitFor([&] { return predicate(store->state()); }); }
  template <typename State>
  bool reaches() {
    return settlesIn([](const AuthenticationState& state) { return std::holds_alternative<State>(state); });
  }
  const AuthenticatedAccount& account() { return std::get<Authenticated>(store->state()).account; }
  std::size_t refreshes() const { return auth.tokenRequestCount("refresh_token"); }

  void restoreSignedIn() {
    keychain->save(auth.issueRefreshToken()).value();
    store->restore();
    ASSERT_TRUE(reaches<Authenticated>());
  }

  // Waits for the main-thread form of a token request.
  platform::Expected<std::string, AuthenticationStore::Failure> token(bool afterRejecting = false,
                                                                       std::string rejected = {}) {
    std::optional<platform::Expected<std::string, AuthenticationStore::Failure>> result;
    auto done = [&](auto outcome) { result = std::move(outcome); };
    if (afterRejecting) store->accessToken(rejected, done);
    else store->validAccessToken(done);
    EXPECT_TRUE(waitFor([&] { return result.has_value(); }));
    return std::move(*result);
  }

  StandInAuthServer auth;
  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  std::shared_ptr<testing::InMemoryRefreshTokenStore> keychain = std::make_shared<testing::InMemoryRefreshTokenStore>();
  std::shared_ptr<UnusedBrowser> browser = std::make_shared<UnusedBrowser>();
  std::shared_ptr<AuthenticationStore> store;
  platform::Subscription subscription;
  std::vector<AuthenticationState> states;
};

TEST_F(AuthenticationStoreTest, RestoreWithoutAStoredTokenSignsOutWithoutARequest) {
  EXPECT_TRUE(std::holds_alternative<Restoring>(store->state()));
  store->restore();
  ASSERT_TRUE(reaches<SignedOut>());
  EXPECT_EQ(auth.server().requestCount(), 0u);
  EXPECT_EQ(states.size(), 2u);
}

TEST_F(AuthenticationStoreTest, RestoreRenewsTheSessionAndKeepsOnlyTheNewRefreshToken) {
  const auto stored = auth.issueRefreshToken();
  keychain->save(stored).value();
  store->restore();
  store->restore();  // ignored while one runs
  ASSERT_TRUE(reaches<Authenticated>());
  EXPECT_EQ(refreshes(), 1u);
  EXPECT_EQ(auth.bootstrapRequestCount(), 1u);
  EXPECT_TRUE(store->canInitiateTransfer());
  EXPECT_EQ(account().bootstrap.workspace.id, "workspace-1");
  // Rotated: the stored token is the new one, and the old one is spent.
  ASSERT_TRUE(keychain->token());
  EXPECT_NE(*keychain->token(), stored);
  EXPECT_TRUE(auth.isRefreshTokenValid(*keychain->token()));
  EXPECT_FALSE(auth.isRefreshTokenValid(stored));
}

TEST_F(AuthenticationStoreTest, AnAccountThatMayNotSendCannotInitiateTransfers) {
  auth.setCanInitiateTransfer(false);
  EXPECT_FALSE(store->canInitiateTransfer());  // restoring
  restoreSignedIn();
  EXPECT_FALSE(store->canInitiateTransfer());
}

TEST_F(AuthenticationStoreTest, AnExpiredSessionDeletesTheTokenAndSignsOut) {
  keychain->save("unknown-to-the-server").value();
  store->restore();
  ASSERT_TRUE(reaches<SignedOut>());
  EXPECT_TRUE(waitFor([&] { return !keychain->token(); }));
  EXPECT_EQ(auth.bootstrapRequestCount(), 0u);
}

TEST_F(AuthenticationStoreTest, AnUnreachableServiceIsTemporarilyUnavailableAndKeepsTheToken) {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
  // Bound but never listening: connections are refused, and no other test's server can take the port.
  const std::unique_ptr<const int, void (*)(const int*)> reserved(&probe, [](const int* fd) { ::close(*fd); });
  subscription.reset();
  makeStore(*platform::Url::parse("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/"));

  keychain->save("kept").value();
  store->restore();
  ASSERT_TRUE(reaches<TemporarilyUnavailable>());
  EXPECT_EQ(std::get<TemporarilyUnavailable>(store->state()).message,
            "Tavrel is temporarily unavailable. Check your connection and retry.");
  EXPECT_EQ(keychain->token(), std::optional<std::string>("kept"));

  store->signIn();  // only from signed out
  EXPECT_TRUE(std::holds_alternative<TemporarilyUnavailable>(store->state()));
  store->retry();
  EXPECT_TRUE(std::holds_alternative<Restoring>(store->state()));
  ASSERT_TRUE(reaches<TemporarilyUnavailable>());
}

TEST_F(AuthenticationStoreTest, AKeychainThatCannotBeReadIsTemporarilyUnavailable) {
  keychain->setFailsReads(true);
  store->restore();
  ASSERT_TRUE(reaches<TemporarilyUnavailable>());
  EXPECT_EQ(std::get<TemporarilyUnavailable>(store->state()).message,
            "Tavrel couldn\u2019t reach your Keychain. Sign in again to reconnect.");
}

// The renewed refresh token must be kept before the session is used: the old one is spent.
TEST_F(AuthenticationStoreTest, AKeychainThatCannotSaveFailsTheRestoreBeforeTheBootstrap) {
  keychain->save(auth.issueRefreshToken()).value();
  keychain->setFailsSaves(true);
  store->restore();
  ASSERT_TRUE(reaches<TemporarilyUnavailable>());
  EXPECT_EQ(std::get<TemporarilyUnavailable>(store->state()).message,
            "Tavrel couldn\u2019t reach your Keychain. Sign in again to reconnect.");
  EXPECT_EQ(refreshes(), 1u);
  EXPECT_EQ(auth.bootstrapRequestCount(), 0u);
}

TEST_F(AuthenticationStoreTest, AcceptsOnlyCompleteTokenAnswers) {
  struct Case {
    TokenFault fault;
    bool signsIn;
    std::optional<std::string> message;  // none: signed out
  };
  for (const auto& [fault, signsIn, message] : {
           Case{TokenFault::lowerCaseBearer, true, std::nullopt},
           Case{TokenFault::otherTokenType, false, "Tavrel couldn\u2019t complete sign in."},
           Case{TokenFault::noRefreshToken, false, "Tavrel couldn\u2019t complete sign in."},
           Case{TokenFault::missingScope, false, std::nullopt},
           Case{TokenFault::invalidRequest, false, "Tavrel couldn\u2019t complete sign in."},
       }) {
    SCOPED_TRACE(static_cast<int>(fault));
    subscription.reset();
    store.reset();
    keychain = std::make_shared<testing::InMemoryRefreshTokenStore>(auth.issueRefreshToken());
    makeStore(auth.webAppURL());
    const auto bootstraps = auth.bootstrapRequestCount();
    auth.failTokenRequests(fault);
    store->restore();
    ASSERT_TRUE(settlesIn([](const auto& state) { return !std::holds_alternative<Restoring>(state); }));
    if (signsIn) {
      EXPECT_TRUE(std::holds_alternative<Authenticated>(store->state()));
    } else if (message) {
      ASSERT_TRUE(std::holds_alternative<TemporarilyUnavailable>(store->state()));
      EXPECT_EQ(std::get<TemporarilyUnavailable>(store->state()).message, *message);
      EXPECT_EQ(auth.bootstrapRequestCount(), bootstraps);
    } else {
      EXPECT_TRUE(std::holds_alternative<SignedOut>(store->state()));
      EXPECT_TRUE(waitFor([&] { return !keychain->token(); }));
    }
  }
}

TEST_F(AuthenticationStoreTest, ABootstrapRefusedOnceDuringRestoreRenewsOnceAndRetries) {
  auth.rejectBootstraps(1);
  restoreSignedIn();
  EXPECT_EQ(refreshes(), 2u);
  EXPECT_EQ(auth.bootstrapRequestCount(), 2u);
  EXPECT_TRUE(auth.isRefreshTokenValid(*keychain->token()));
}

TEST_F(AuthenticationStoreTest, ABootstrapRefusedTwiceDuringRestoreSignsOut) {
  auth.rejectBootstraps(2);
  keychain->save(auth.issueRefreshToken()).value();
  store->restore();
  ASSERT_TRUE(reaches<SignedOut>());
  EXPECT_EQ(refreshes(), 2u);
  EXPECT_EQ(auth.bootstrapRequestCount(), 2u);
  EXPECT_TRUE(waitFor([&] { return !keychain->token(); }));
}

TEST_F(AuthenticationStoreTest, RenewsSixtySecondsBeforeExpiry) {
  restoreSignedIn();
  const auto first = account();
  queue->advance(3539s);
  queue->runUntilIdle();
  EXPECT_EQ(refreshes(), 1u);
  queue->advance(1s);
  ASSERT_TRUE(settlesIn([&](const auto&) { return account().accessToken != first.accessToken; }));
  EXPECT_EQ(refreshes(), 2u);
  EXPECT_EQ(account().expiresAt - first.expiresAt, std::chrono::seconds(3540));
}

// Regression: a token living a minute or less made the renewal due at once, forever.
TEST_F(AuthenticationStoreTest, ShortLivedTokensAreNotRenewedInALoop) {
  auth.setAccessTokenLifetime(30);
  restoreSignedIn();
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(token());
  queue->runUntilIdle();
  EXPECT_EQ(refreshes(), 1u);

  // Renewals come at half the lifetime, not back to back: none before, one when it falls due.
  // Virtual time stands still while a renewal runs, so a slow machine changes nothing here.
  for (std::size_t renewal = 2; renewal <= 5; ++renewal) {
    const auto previous = account().accessToken;
    queue->advance(14s);
    queue->runUntilIdle();
    EXPECT_EQ(refreshes(), renewal - 1);
    queue->advance(1s);
    ASSERT_TRUE(settlesIn([&](const AuthenticationState& state) {
      const auto* current = authenticatedAccount(state);
      return current && current->accessToken != previous;
    }));
    EXPECT_EQ(refreshes(), renewal);
  }

  auth.setAccessTokenLifetime(0);
  const auto before = refreshes();
  for (int i = 0; i < 30; ++i) {
    queue->advance(1s);
    queue->runUntil([] { return false; }, 50ms);
  }
  EXPECT_LE(refreshes() - before, 8u);
}

TEST_F(AuthenticationStoreTest, TokenRequestsUseTheCurrentTokenUntilItIsWithinAMinuteOfExpiry) {
  restoreSignedIn();
  const auto current = account().accessToken;
  queue->advance(3539s);  // 61 seconds left
  auto result = token();
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, current);
  EXPECT_EQ(refreshes(), 1u);

  // An older token than the current one: the current one comes back without a request.
  result = token(true, "an-older-token");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, current);
  EXPECT_EQ(refreshes(), 1u);

  // The current token itself was refused: renew.
  result = token(true, current);
  ASSERT_TRUE(result);
  EXPECT_NE(*result, current);
  EXPECT_EQ(refreshes(), 2u);
}

TEST_F(AuthenticationStoreTest, ABootstrapRefusedOnceDuringARenewalRenewsOnceMoreAndRetries) {
  restoreSignedIn();
  auth.rejectBootstraps(1);
  const auto renewed = token(true, account().accessToken);
  ASSERT_TRUE(renewed);
  EXPECT_EQ(*renewed, account().accessToken);
  EXPECT_EQ(refreshes(), 3u);
  EXPECT_EQ(auth.bootstrapRequestCount(), 3u);
  EXPECT_TRUE(auth.isRefreshTokenValid(*keychain->token()));

  // Refused again after the second renewal: the token request fails and the session stays.
  const auto kept = account();
  auth.rejectBootstraps(2);
  const auto failed = token(true, kept.accessToken);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(), AuthenticationStore::Failure(AuthenticationError(Kind::unauthorized)));
  EXPECT_EQ(refreshes(), 5u);
  EXPECT_EQ(store->state(), AuthenticationState(Authenticated{kept}));
}

// Regression: a worker waiting for a renewal waited for ever once the store went away with it.
TEST_F(AuthenticationStoreTest, AWorkerWaitingForARenewalIsAnsweredWhenTheStoreGoesAway) {
  restoreSignedIn();
  const auto current = account().accessToken;
  auth.holdTokenRequests();
  std::optional<AccessTokenResult> result;
  std::atomic<bool> answered{false};
  AuthenticationStore* provider = store.get();
  std::jthread client([&](std::stop_token stop) {
    result = provider->accessToken(current, stop);
    answered = true;
  });
  ASSERT_TRUE(waitFor([&] { return refreshes() == 2; }));
  store.reset();  // stops the renewal and waits for its worker

  // The client is stopped only after a generous deadline, so that a regression fails instead of hanging.
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!answered && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  client.request_stop();
  client.join();
  ASSERT_TRUE(result);
  ASSERT_FALSE(*result);
  EXPECT_FALSE(result->error().isCancelled());
  EXPECT_EQ(result->error().message, "Tavrel is temporarily unavailable. Check your connection and retry.");
}

// A service client's thread gets a token that is not yet due for renewal without waiting for the main
// thread; one that is due is renewed there.
TEST_F(AuthenticationStoreTest, WorkersGetAValidTokenWithoutTheMainThreadAndRenewThroughIt) {
  restoreSignedIn();
  const auto current = account().accessToken;
  const auto askFromAWorker = [&](std::optional<AccessTokenResult>& result, std::atomic<bool>& answered) {
    return std::jthread([&, s = store](std::stop_token stop) {
      result = s->validAccessToken(stop);
      answered = true;
    });
  };
  const auto answeredWithoutTheQueue = [](std::atomic<bool>& answered, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!answered && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    return answered.load();
  };

  std::optional<AccessTokenResult> valid;
  std::atomic<bool> validAnswered{false};
  auto first = askFromAWorker(valid, validAnswered);
  const bool fast = answeredWithoutTheQueue(validAnswered, 20s);
  if (!fast) waitFor([&] { return validAnswered.load(); });
  first.join();
  EXPECT_TRUE(fast);
  ASSERT_TRUE(valid && valid->hasValue());
  EXPECT_EQ(valid->value(), current);

  // Due for renewal: the clock moves, the main thread has not run the renewal timer yet.
  queue->virtualClock().advance(3540s);
  std::optional<AccessTokenResult> renewed;
  std::atomic<bool> renewedAnswered{false};
  auto second = askFromAWorker(renewed, renewedAnswered);
  EXPECT_FALSE(answeredWithoutTheQueue(renewedAnswered, 200ms));
  ASSERT_TRUE(waitFor([&] { return renewedAnswered.load(); }));
  second.join();
  ASSERT_TRUE(renewed && renewed->hasValue());
  EXPECT_NE(renewed->value(), current);
  EXPECT_EQ(renewed->value(), account().accessToken);
  EXPECT_EQ(refreshes(), 2u);
}

TEST_F(AuthenticationStoreTest, TenConcurrentRequestsNearExpiryShareOneRenewal) {
  restoreSignedIn();
  const auto first = account().accessToken;
  // The renewal that falls due a minute before expiry is held at the server; every caller that
  // finds the token near expiry meanwhile waits for that one.
  auth.holdTokenRequests();
  queue->advance(3540s);
  ASSERT_TRUE(waitFor([&] { return refreshes() == 2; }));
  std::vector<std::optional<AccessTokenResult>> results(10);
  // Each client counts itself done once its slot is written; the main thread reads the slots only
  // after every client has.
  std::atomic<std::size_t> answered{0};
  {
    std::vector<std::jthread> clients;
    for (auto& slot : results) {
      clients.emplace_back([&, s = store](std::stop_token stop) {
        slot = s->validAccessToken(stop);
        answered.fetch_add(1, std::memory_order_release);
      });
    }
    // A caller that comes after the renewal finds the renewed token, so no pause here is too short.
    waitFor([] { return false; }, 200ms);
    auth.releaseTokenRequests();
    ASSERT_TRUE(waitFor([&] { return answered.load(std::memory_order_acquire) == results.size(); }));
  }
  EXPECT_EQ(refreshes(), 2u);
  EXPECT_NE(account().accessToken, first);
  for (const auto& result : results) {
    ASSERT_TRUE(result->hasValue());
    EXPECT_EQ(result->value(), account().accessToken);
  }
}

// Sixteen files in flight that all see one token refused renew it once: whoever asks while the
// renewal runs waits for it, and whoever asks after it gets the renewed token.
TEST_F(AuthenticationStoreTest, SixteenRequestsRefusedWithOneTokenShareOneRenewal) {
  restoreSignedIn();
  const auto refused = account().accessToken;
  auth.holdTokenRequests();
  std::vector<std::optional<AccessTokenResult>> results(16);
  std::atomic<std::size_t> answered{0};
  {
    std::vector<std::jthread> clients;
    for (std::size_t index = 0; index < results.size(); ++index) {
      clients.emplace_back([&, index, s = store](std::stop_token stop) {
        results[index] = s->accessToken(refused, stop);
        answered.fetch_add(1, std::memory_order_release);
      });
      // Half ask while the renewal is held, half once it has been answered.
      if (index == results.size() / 2) {
        ASSERT_TRUE(waitFor([&] { return refreshes() == 2; }));
        auth.releaseTokenRequests();
        ASSERT_TRUE(waitFor([&] { return account().accessToken != refused; }));
      }
    }
    ASSERT_TRUE(waitFor([&] { return answered.load(std::memory_order_acquire) == results.size(); }));
  }
  EXPECT_EQ(refreshes(), 2u);  // the restore and one renewal
  for (const auto& result : results) {
    ASSERT_TRUE(result->hasValue());
    EXPECT_EQ(result->value(), account().accessToken);
  }
}

TEST_F(AuthenticationStoreTest, ScheduledRenewalSignsOutOnlyForAnExpiredSession) {
  restoreSignedIn();
  // A server fault keeps the session and sets no new timer; the next token request renews.
  auth.failTokenRequests(TokenFault::serverError);
  queue->advance(3540s);
  ASSERT_TRUE(waitFor([&] { return refreshes() == 2; }));
  ASSERT_TRUE(auth.server().waitForRequests(auth.server().requestCount(), 20s));
  queue->advance(1h);
  queue->runUntilIdle();
  EXPECT_EQ(refreshes(), 2u);
  ASSERT_TRUE(std::holds_alternative<Authenticated>(store->state()));
  // The first request may still share the failed renewal if its answer is on the way.
  bool renewed = false;
  for (int attempt = 0; attempt < 2 && !renewed; ++attempt) renewed = token().hasValue();
  EXPECT_TRUE(renewed);
  EXPECT_EQ(refreshes(), 3u);

  auth.failTokenRequests(TokenFault::invalidGrant);
  queue->advance(3540s);
  ASSERT_TRUE(reaches<SignedOut>());
  EXPECT_TRUE(waitFor([&] { return !keychain->token(); }));
}

TEST_F(AuthenticationStoreTest, TokenRequestsWhileSignedOutFailAsUnauthorized) {
  store->restore();
  ASSERT_TRUE(reaches<SignedOut>());
  const auto result = token();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), AuthenticationStore::Failure(AuthenticationError(Kind::unauthorized)));
  // On the main thread the blocking form answers at once instead of waiting for itself.
  const auto immediate = store->validAccessToken(std::stop_token{});
  ASSERT_FALSE(immediate);
  EXPECT_EQ(immediate.error().message, "Your session has expired. Please sign in again.");
}

// Regression: on the main thread the request after a 401 handed back the very token just refused.
TEST_F(AuthenticationStoreTest, OnTheMainThreadTheTokenRequestsAnswerAtOnceAndNeverWithTheRefusedToken) {
  restoreSignedIn();
  const auto current = account().accessToken;
  const auto valid = store->validAccessToken(std::stop_token{});
  ASSERT_TRUE(valid);
  EXPECT_EQ(*valid, current);
  const auto renewedElsewhere = store->accessToken("an-older-token", std::stop_token{});
  ASSERT_TRUE(renewedElsewhere);
  EXPECT_EQ(*renewedElsewhere, current);
  const auto refused = store->accessToken(current, std::stop_token{});
  ASSERT_FALSE(refused);
  EXPECT_FALSE(refused.error().isCancelled());
  queue->runUntilIdle();
  EXPECT_EQ(refreshes(), 1u);
}

TEST_F(AuthenticationStoreTest, SignInStartsOnlyWhenSignedOut) {
  store->signIn();  // restoring
  restoreSignedIn();
  store->signIn();  // authenticated
  queue->runUntilIdle();
  EXPECT_TRUE(std::holds_alternative<Authenticated>(store->state()));
  EXPECT_EQ(browser->cancels, 0);
}

// Regression: a renewal answered after sign-out was still saved, so the next start was signed in.
TEST_F(AuthenticationStoreTest, SignOutDuringARenewalSticks) {
  restoreSignedIn();
  auth.holdTokenRequests();
  std::optional<platform::Expected<std::string, AuthenticationStore::Failure>> waiter;
  store->accessToken(account().accessToken, [&](auto outcome) { waiter = std::move(outcome); });
  ASSERT_TRUE(auth.server().waitForRequestsStarted(auth.server().requestCount() + 1, 10s));

  store->signOut();
  EXPECT_TRUE(std::holds_alternative<SignedOut>(store->state()));
  EXPECT_EQ(browser->cancels, 1);
  auth.releaseTokenRequests();
  ASSERT_TRUE(waitFor([&] { return waiter.has_value(); }));
  EXPECT_FALSE(*waiter);
  EXPECT_EQ(waiter->error(), AuthenticationStore::Failure());  // cancelled, not failed
  ASSERT_TRUE(auth.server().waitForRequests(auth.server().requestCount(), 10s));

  EXPECT_TRUE(waitFor([&] { return auth.revokeRequestCount() == 1; }));
  store.reset();  // waits for its workers
  queue->runUntilIdle();
  EXPECT_EQ(keychain->token(), std::nullopt);
  EXPECT_TRUE(std::holds_alternative<SignedOut>(states.back()));
}

// Regression: the restore did not look for cancellation.
TEST_F(AuthenticationStoreTest, SignOutDuringARestoreSticks) {
  keychain->save(auth.issueRefreshToken()).value();
  auth.holdTokenRequests();
  store->restore();
  ASSERT_TRUE(auth.server().waitForRequestsStarted(1, 10s));
  store->signOut();
  auth.releaseTokenRequests();
  ASSERT_TRUE(auth.server().waitForRequests(1, 10s));
  EXPECT_TRUE(waitFor([&] { return auth.revokeRequestCount() == 1; }));  // after the deletion
  store.reset();
  queue->runUntilIdle();
  EXPECT_EQ(keychain->token(), std::nullopt);
  EXPECT_TRUE(std::holds_alternative<SignedOut>(states.back()));
  EXPECT_EQ(auth.bootstrapRequestCount(), 0u);
}

TEST_F(AuthenticationStoreTest, SignOutRevokesEvenWhenTheKeychainCannotDelete) {
  restoreSignedIn();
  const auto token = *keychain->token();
  keychain->setFailsDeletes(true);
  store->signOut();
  EXPECT_TRUE(std::holds_alternative<SignedOut>(store->state()));
  ASSERT_TRUE(waitFor([&] { return auth.revokeRequestCount() == 1; }));
  store.reset();
  EXPECT_EQ(auth.revokedTokens(), std::vector<std::string>{token});
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

// An API whose refresh answers only when the test lets it, and regardless of cancellation: the answer
// has already arrived when the sign-out happens.
class GatedAPI final : public AuthenticationAPI {
 public:
  TokenResult exchange(std::string_view, std::string_view, std::stop_token) override { return answer(); }
  TokenResult refresh(std::string_view, std::stop_token) override {
    entered = true;
    std::unique_lock lock(mutex);
    opened.wait(lock, [&] { return isOpen; });
    return answer();
  }
  void revoke(std::string_view, std::stop_token) override {}
  BootstrapResult bootstrap(std::string_view, std::stop_token) override {
    return platform::decodeJson<AppBootstrap>(testing::standInBootstrapJSON());
  }
  void open() {
    {
      std::lock_guard lock(mutex);
      isOpen = true;
    }
    opened.notify_all();
  }

  std::atomic<bool> entered{false};

 private:
  static OAuthTokenResponse answer() {
    return {"late-access", "Bearer", 3600, "late-refresh",
            "openid offline_access account:read transfers:create transfers:read"};
  }
  std::mutex mutex;
  std::condition_variable opened;
  bool isOpen = false;
};

// Regression: a token answer that arrived during sign-out was still saved, so the next start was
// signed in again.
TEST(AuthenticationStoreEpochTest, AnAnswerThatArrivesAfterSignOutIsNeitherSavedNorPublished) {
  auto queue = std::make_shared<platform::ManualMainQueue>();
  auto keychain = std::make_shared<testing::InMemoryRefreshTokenStore>("stored");
  auto api = std::make_shared<GatedAPI>();
  auto store = AuthenticationStore::make(OAuthConfiguration{*platform::Url::parse("https://app.tavrel.test/")}, api,
                                         keychain, std::make_shared<UnusedBrowser>(), queue,
                                         [] { return std::chrono::system_clock::now(); });
  std::vector<AuthenticationState> states;
  auto subscription = store->subscribe([&](const AuthenticationState& state) { states.push_back(state); });

  store->restore();
  while (!api->entered) std::this_thread::yield();
  store->signOut();
  api->open();
  store.reset();  // waits for the restore's worker to finish
  queue->runUntilIdle();

  // The sign-out's deletion runs on the secret store's thread.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (keychain->token() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(keychain->token(), std::nullopt);
  EXPECT_TRUE(keychain->savedTokens().empty());
  EXPECT_TRUE(std::holds_alternative<SignedOut>(states.back()));
}

}  // namespace
TEST_F(AuthenticationStoreTest, AnAbsurdTokenLifetimeIsHeldWithinTheClocksRange) {
  // The service's lifetime is any JSON number; one beyond the clock's range must not overflow the
  // expiry, and a negative one counts as already expired.
  auth.setAccessTokenLifetime(1e300);
  restoreSignedIn();
  EXPECT_GT(account().expiresAt, std::chrono::system_clock::now() + std::chrono::hours(24 * 365));
  EXPECT_TRUE(token());
  EXPECT_EQ(refreshes(), 1u);
}

}  // namespace tavrel
