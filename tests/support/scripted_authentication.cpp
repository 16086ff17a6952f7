#include "support/scripted_authentication.h"

#include <gtest/gtest.h>

namespace tavrel::testing {

using namespace authentication_state;

AppBootstrap ScriptedAuthenticationAPI::bootstrapFor(std::optional<std::string> name, std::string email,
                                                     bool canInitiateTransfer) {
  AppBootstrap bootstrap;
  bootstrap.user = {"user-1", std::move(name), std::move(email), std::nullopt};
  bootstrap.workspace = {"workspace-1", "Analytical Engines", "member", "team"};
  bootstrap.plan = {"team", false, false};
  bootstrap.permissions.canInitiateTransfer = canInitiateTransfer;
  return bootstrap;
}

AuthenticationAPI::TokenResult ScriptedAuthenticationAPI::grant() {
  std::lock_guard lock(mutex_);
  if (failure_) return platform::unexpected(*failure_);
  ++issued_;
  std::string scope;
  for (const auto& granted : OAuthConfiguration::scopes()) scope += (scope.empty() ? "" : " ") + granted;
  return OAuthTokenResponse{"access-" + std::to_string(issued_), "Bearer", lifetime_,
                            "refresh-" + std::to_string(issued_), scope};
}

AuthenticationAPI::TokenResult ScriptedAuthenticationAPI::exchange(std::string_view, std::string_view,
                                                                   std::stop_token) {
  return grant();
}

AuthenticationAPI::TokenResult ScriptedAuthenticationAPI::refresh(std::string_view, std::stop_token) { return grant(); }

void ScriptedAuthenticationAPI::revoke(std::string_view, std::stop_token) {}

AuthenticationAPI::BootstrapResult ScriptedAuthenticationAPI::bootstrap(std::string_view, std::stop_token) {
  std::lock_guard lock(mutex_);
  if (failure_) return platform::unexpected(*failure_);
  return bootstrap_;
}

void ScriptedAuthenticationAPI::setFailure(std::optional<AuthenticationError> failure) {
  std::lock_guard lock(mutex_);
  failure_ = std::move(failure);
}

void ScriptedAuthenticationAPI::setBootstrap(AppBootstrap bootstrap) {
  std::lock_guard lock(mutex_);
  bootstrap_ = std::move(bootstrap);
}

void ScriptedAuthenticationAPI::setTokenLifetime(double seconds) {
  std::lock_guard lock(mutex_);
  lifetime_ = seconds;
}

void HeldWebAuthentication::authenticate(const platform::Url&, std::string_view, Completion completion) {
  completion_ = std::move(completion);
}

void HeldWebAuthentication::cancel() {
  if (!completion_) return;
  queue_->post([completion = std::exchange(completion_, nullptr)] {
    completion(platform::unexpected(AuthenticationError(AuthenticationError::Kind::authorizationCancelled)));
  });
}

AuthenticationStoreBench::AuthenticationStoreBench() {
  const auto webApp = platform::Url::parse("https://app.tavrel.test");
  store = AuthenticationStore::make(OAuthConfiguration{*webApp}, api, keychain, browser, queue, [queue = queue] {
    return std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 55)) +
           std::chrono::duration_cast<std::chrono::system_clock::duration>(queue->clock().now().time_since_epoch());
  });
}

bool AuthenticationStoreBench::settle(const std::function<bool(const AuthenticationState&)>& done) {
  return queue->runUntil([&] { return done(store->state()); });
}

void AuthenticationStoreBench::signOut() {
  store->restore();
  ASSERT_TRUE(settle([](const auto& state) { return std::holds_alternative<SignedOut>(state); }));
}

void AuthenticationStoreBench::authorize() {
  signOut();
  store->signIn();
  ASSERT_TRUE(std::holds_alternative<Authorizing>(store->state()));
}

void AuthenticationStoreBench::signIn() {
  keychain->save("stored-refresh-token").value();
  store->restore();
  ASSERT_TRUE(settle([](const auto& state) { return std::holds_alternative<Authenticated>(state); }));
}

void AuthenticationStoreBench::makeUnavailable(const AuthenticationError& error) {
  api->setFailure(error);
  keychain->save("stored-refresh-token").value();
  store->restore();
  ASSERT_TRUE(settle([](const auto& state) { return std::holds_alternative<TemporarilyUnavailable>(state); }));
}

}  // namespace tavrel::testing
