#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "records/account_models.h"
#include "account/authentication_api.h"
#include "account/authentication_error.h"
#include "account/oauth_configuration.h"
#include "account/refresh_token_storing.h"
#include "account/web_authenticating.h"
#include "platform/expected.h"
#include "platform/main_queue.h"
#include "platform/observable.h"
#include "records/access_token_providing.h"

namespace tavrel {

// Owns the user's session: restores it from the stored refresh token, signs in through the browser,
// accepts only complete token answers that grant every scope, loads the bootstrap, renews the access
// token a minute before it expires, hands tokens to the service clients, and signs out. It publishes
// one value, the AuthenticationState.
//
//   restoring ──restore──▶ authenticated ◀──sign-in── authorizing ◀──signIn── signedOut
//       │                      │  ▲ renewal                                     ▲
//       └─▶ temporarilyUnavailable ──retry──▶ restoring          signOut (any) ─┘
//
// IMPORTANT: Thread-safety. The store lives on the main thread: construction, every operation, every
// state change and every observer run there. Blocking work (the secret store, HTTP) runs on worker
// threads; its results come back through the main queue tagged with the session epoch and the task
// they belong to, and are dropped once stale. The two AccessTokenProviding calls are the only ones
// meant for other threads. A still-valid token is handed to them from a copy the main thread keeps
// beside the state, without waiting for the main thread; a renewal, and the answer after a 401,
// always go through it, so the single renewal and its waiters stay where the state lives.
//
// Sign-out ends the session epoch. Every worker step checks the epoch after each wait, and the
// secret store is written only on one serial thread that checks it again, after the sign-out's
// deletion has been queued; so nothing a restore, sign-in or renewal learns after a sign-out is saved
// or published.
class AuthenticationStore final : public AccessTokenProviding, public std::enable_shared_from_this<AuthenticationStore> {
 public:
  using Now = std::function<std::chrono::system_clock::time_point()>;
  // Why no token or account came: an error, or none when the request was cancelled by a sign-out.
  using Failure = std::optional<AuthenticationError>;
  using TokenCompletion = std::function<void(platform::Expected<std::string, Failure>)>;

  static constexpr auto refreshMargin = std::chrono::seconds(60);
  // How long quitting waits for a renewal or a sign-out's revocation that is still on its way.
  static constexpr auto backgroundWorkGraceAtQuit = std::chrono::seconds(2);
  // Renewals never follow each other faster than this, whatever lifetime the server grants.
  static constexpr auto minimumRenewalDelay = std::chrono::seconds(5);

  // `now` gives the current date and must be callable from any thread.
  static std::shared_ptr<AuthenticationStore> make(OAuthConfiguration configuration, std::shared_ptr<AuthenticationAPI> api,
                                                   std::shared_ptr<RefreshTokenStoring> keychain,
                                                   std::shared_ptr<WebAuthenticating> webAuthentication,
                                                   std::shared_ptr<platform::MainQueue> queue, Now now);
  ~AuthenticationStore() override;
  AuthenticationStore(const AuthenticationStore&) = delete;
  AuthenticationStore& operator=(const AuthenticationStore&) = delete;

  const AuthenticationState& state() const { return state_.value(); }
  // Every assignment is delivered, an equal value included, unless the observer asks otherwise.
  [[nodiscard]] platform::Subscription subscribe(std::function<void(const AuthenticationState&)> observer,
                                                 platform::Delivery delivery = platform::Delivery::everyChange);
  bool canInitiateTransfer() const { return tavrel::canInitiateTransfer(state()); }

  void restore();
  void signIn();
  void retry();
  void signOut();

  // Waits up to `grace` for the work still on its way (a restore, renewal or sign-in step, and the
  // revocations that sign-outs started), then stops what still runs and waits for it to end, which a
  // stopped request does at once. For quitting, before the process tears down libcurl and OpenSSL:
  // no request runs past this call. The store's end does the same without the grace. A renewal the
  // service answered keeps its new refresh token even when stopped.
  void finishBackgroundWork(std::chrono::milliseconds grace);

  // Main-thread forms of the token requests. The completion runs later on the main thread, never
  // inside the call.
  void validAccessToken(TokenCompletion completion);
  void accessToken(std::string rejectedToken, TokenCompletion completion);

  // AccessTokenProviding, for the service clients' worker threads.
  AccessTokenResult validAccessToken(std::stop_token stop) override;
  AccessTokenResult accessToken(std::string_view rejectedToken, std::stop_token stop) override;

 private:
  class Keychain;
  class Revocations;
  struct Worker;
  struct WorkerEnds;
  using AccountOutcome = platform::Expected<AuthenticatedAccount, Failure>;
  using AccountCompletion = std::function<void(AccountOutcome)>;

  AuthenticationStore(OAuthConfiguration configuration, std::shared_ptr<AuthenticationAPI> api,
                      std::shared_ptr<RefreshTokenStoring> keychain, std::shared_ptr<WebAuthenticating> webAuthentication,
                      std::shared_ptr<platform::MainQueue> queue, Now now);

  void setState(AuthenticationState state);
  void refresh(AccountCompletion completion);
  void enterAuthenticated(const AuthenticatedAccount& account);
  void handleFailure(const AuthenticationError& error);
  void handleSignInFailure(const AuthenticationError& error);
  void handleScheduledRefreshFailure(const Failure& failure);
  void finishRefresh(std::uint64_t refreshID, AccountOutcome outcome);
  void continueSignIn(std::uint64_t flowID, std::string codeVerifier, std::string expectedState,
                      platform::Expected<std::string, AuthenticationError> callback);
  void finishFlow(std::uint64_t flowID, AccountOutcome outcome);
  void cancelFlow();
  std::chrono::system_clock::duration renewalMargin() const;
  // The current token while it is not yet due for renewal; none otherwise. Any thread.
  std::optional<std::string> tokenNotDueForRenewal() const;

  // Starts `work` on a worker thread of its own with a stop token; returns the token's source.
  std::stop_source startJob(std::function<void(std::stop_token)> work);
  // Stops the workers and waits for them to end.
  void stopWorkers();
  // Runs `deliver` on the main thread later, only while the store lives and the epoch is `epoch`.
  static void post(const std::shared_ptr<platform::MainQueue>& queue, std::weak_ptr<AuthenticationStore> weak,
                   std::uint64_t epoch, std::function<void(AuthenticationStore&)> deliver);
  // `rejectedToken` is set for the request after a 401.
  AccessTokenResult waitForToken(std::function<void(AuthenticationStore&, TokenCompletion)> request,
                                 std::optional<std::string_view> rejectedToken, std::stop_token stop);

  OAuthConfiguration configuration_;
  std::shared_ptr<AuthenticationAPI> api_;
  std::shared_ptr<Keychain> keychain_;
  std::shared_ptr<WebAuthenticating> webAuthentication_;
  std::shared_ptr<platform::MainQueue> queue_;
  Now now_;
  std::thread::id mainThread_;

  platform::Observable<AuthenticationState> state_{authentication_state::Restoring{}};
  std::chrono::system_clock::duration tokenLifetime_{};  // of the account in the state

  // The authenticated state's token, for the service clients' threads; written with every state.
  struct CurrentToken {
    std::string accessToken;
    std::chrono::system_clock::time_point expiresAt;
    std::chrono::system_clock::duration renewalMargin{};
  };
  mutable std::mutex currentTokenMutex_;
  std::optional<CurrentToken> currentToken_;

  std::uint64_t nextID_ = 1;
  // The running restore or sign-in (at most one), the one renewal and the renewal timer.
  std::uint64_t flowID_ = 0;
  bool flowIsSignIn_ = false;
  std::stop_source flowStop_;
  std::uint64_t refreshID_ = 0;
  std::stop_source refreshStop_;
  std::vector<AccountCompletion> refreshWaiters_;
  std::optional<platform::DelayedTask> scheduledRefresh_;

  std::list<std::unique_ptr<Worker>> workers_;
  std::shared_ptr<WorkerEnds> workerEnds_;
  std::unique_ptr<Revocations> revocations_;
};

}  // namespace tavrel
