#include "support/in_memory_refresh_token_store.h"

namespace tavrel::testing {

namespace {
platform::Unexpected<AuthenticationError> unavailable() {
  return platform::unexpected(AuthenticationError(AuthenticationError::Kind::keychainUnavailable));
}
}  // namespace

platform::Expected<std::optional<std::string>, AuthenticationError> InMemoryRefreshTokenStore::read() {
  std::lock_guard lock(mutex_);
  if (failsReads_) return unavailable();
  return token_;
}

platform::Expected<platform::Unit, AuthenticationError> InMemoryRefreshTokenStore::save(std::string_view token) {
  std::lock_guard lock(mutex_);
  if (failsSaves_) return unavailable();
  token_ = std::string(token);
  saved_.emplace_back(token);
  return platform::Unit{};
}

platform::Expected<platform::Unit, AuthenticationError> InMemoryRefreshTokenStore::deleteToken() {
  std::lock_guard lock(mutex_);
  if (failsDeletes_) return unavailable();
  token_.reset();
  return platform::Unit{};
}

std::optional<std::string> InMemoryRefreshTokenStore::token() const {
  std::lock_guard lock(mutex_);
  return token_;
}

std::vector<std::string> InMemoryRefreshTokenStore::savedTokens() const {
  std::lock_guard lock(mutex_);
  return saved_;
}

void InMemoryRefreshTokenStore::setFailsReads(bool fails) {
  std::lock_guard lock(mutex_);
  failsReads_ = fails;
}

void InMemoryRefreshTokenStore::setFailsSaves(bool fails) {
  std::lock_guard lock(mutex_);
  failsSaves_ = fails;
}

void InMemoryRefreshTokenStore::setFailsDeletes(bool fails) {
  std::lock_guard lock(mutex_);
  failsDeletes_ = fails;
}

}  // namespace tavrel::testing
