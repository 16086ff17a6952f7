#include "program/session_token_provider.h"

#include "account/authentication_store.h"
#include "platform/translatable_text.h"

namespace tavrel {

SessionTokenProvider::SessionTokenProvider(std::weak_ptr<AuthenticationStore> store) : store_(std::move(store)) {}

std::optional<std::string> SessionTokenProvider::heldToken() const {
  std::lock_guard lock(mutex_);
  return held_;
}

AccessTokenResult SessionTokenProvider::validAccessToken(std::stop_token stop) {
  if (auto held = heldToken()) return *held;
  auto store = store_.lock();
  if (!store) return platform::unexpected(AccessTokenError::cancelled());
  return store->validAccessToken(stop);
}

AccessTokenResult SessionTokenProvider::accessToken(std::string_view rejectedToken, std::stop_token stop) {
  if (auto held = heldToken()) {
    // Refused: the held token cannot be renewed, the session is gone.
    if (*held == rejectedToken) {
      return platform::unexpected(
          AccessTokenError::failed(TAVREL_TRANSLATE_NOOP("Core", "Your session has ended.")));
    }
    return *held;
  }
  auto store = store_.lock();
  if (!store) return platform::unexpected(AccessTokenError::cancelled());
  return store->accessToken(rejectedToken, stop);
}

void SessionTokenProvider::holdForSignOut() {
  auto store = store_.lock();
  if (!store) return;
  if (const auto* account = authenticatedAccount(store->state())) {
    std::lock_guard lock(mutex_);
    held_ = account->accessToken;
  }
}

void SessionTokenProvider::release() {
  std::lock_guard lock(mutex_);
  held_.reset();
}

}  // namespace tavrel
