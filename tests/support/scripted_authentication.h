#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "account/authentication_api.h"
#include "account/authentication_store.h"
#include "account/web_authenticating.h"
#include "platform/manual_main_queue.h"
#include "support/in_memory_refresh_token_store.h"

namespace tavrel::testing {

// The sign-in service answered in-process at once: every refresh or code exchange grants a fresh
// token pair with every scope, and the bootstrap is the one set here. Thread-safe (the store calls
// it on its worker threads).
class ScriptedAuthenticationAPI final : public AuthenticationAPI {
 public:
  TokenResult exchange(std::string_view code, std::string_view codeVerifier, std::stop_token stop) override;
  TokenResult refresh(std::string_view refreshToken, std::stop_token stop) override;
  void revoke(std::string_view refreshToken, std::stop_token stop) override;
  BootstrapResult bootstrap(std::string_view accessToken, std::stop_token stop) override;

  // Token and bootstrap requests fail with `failure` until it is cleared.
  void setFailure(std::optional<AuthenticationError> failure);
  void setBootstrap(AppBootstrap bootstrap);
  // Seconds each granted access token lives.
  void setTokenLifetime(double seconds);

  static AppBootstrap bootstrapFor(std::optional<std::string> name, std::string email, bool canInitiateTransfer);

 private:
  TokenResult grant();

  mutable std::mutex mutex_;
  std::optional<AuthenticationError> failure_;
  AppBootstrap bootstrap_ = bootstrapFor("Ada Lovelace", "ada@example.com", true);
  double lifetime_ = 3600;
  int issued_ = 0;
};

// The browser step held open until the test finishes it. Main thread only; completions are posted.
class HeldWebAuthentication final : public WebAuthenticating {
 public:
  explicit HeldWebAuthentication(std::shared_ptr<platform::MainQueue> queue) : queue_(std::move(queue)) {}

  void authenticate(const platform::Url& url, std::string_view callbackScheme, Completion completion) override;
  void cancel() override;

  bool isWaiting() const { return static_cast<bool>(completion_); }

 private:
  std::shared_ptr<platform::MainQueue> queue_;
  Completion completion_;
};

// A real authentication store over the scripted service, an in-memory secret store and the held
// browser, on a manual main queue whose virtual clock is the store's clock. Drives the store into
// each sign-in state.
class AuthenticationStoreBench {
 public:
  AuthenticationStoreBench();

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  std::shared_ptr<ScriptedAuthenticationAPI> api = std::make_shared<ScriptedAuthenticationAPI>();
  std::shared_ptr<InMemoryRefreshTokenStore> keychain = std::make_shared<InMemoryRefreshTokenStore>();
  std::shared_ptr<HeldWebAuthentication> browser = std::make_shared<HeldWebAuthentication>(queue);
  std::shared_ptr<AuthenticationStore> store;

  // Each returns once the store is in that state (or fails the test).
  void signOut();        // restore without a stored session
  void authorize();      // signed out, then the browser sign-in starts
  void signIn();         // restore of a stored session
  void makeUnavailable(const AuthenticationError& error = AuthenticationError::Kind::transportUnavailable);
  // Waits for the store's worker threads to deliver until `done` holds.
  bool settle(const std::function<bool(const AuthenticationState&)>& done);
};

}  // namespace tavrel::testing
