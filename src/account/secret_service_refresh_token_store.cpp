#include "account/secret_service_refresh_token_store.h"

#include <glib.h>

#include <algorithm>
#include <cctype>

#include "platform/logger.h"

namespace tavrel {

namespace {

const platform::Logger& logger() {
  static const platform::Logger instance("com.tavrel.desktop", "RefreshTokenStore");
  return instance;
}

platform::Unexpected<AuthenticationError> unavailable(const platform::SecretServiceError& error) {
  // The library's text names no secret; it helps tell a missing service from a locked one.
  logger().error("Secret store failed: {}", platform::publicArg(error.message));
  return platform::unexpected(AuthenticationError(AuthenticationError::Kind::keychainUnavailable));
}

}  // namespace

SecretServiceRefreshTokenStore::SecretServiceRefreshTokenStore(const platform::Url& webAppURL, std::string service)
    : service_(std::move(service)), account_(account(webAppURL)), secrets_(schemaName) {}

std::string SecretServiceRefreshTokenStore::account(const platform::Url& webAppURL) {
  platform::Url origin = webAppURL;
  std::string host = origin.host();
  std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!host.empty()) origin.setHost(host);
  if (!origin.setPath("") || !origin.setQuery(std::nullopt) || !origin.setFragment(std::nullopt)) {
    return "oauth-refresh-token:" + webAppURL.toString();
  }
  return "oauth-refresh-token:" + origin.toString();
}

platform::SecretService::Attributes SecretServiceRefreshTokenStore::attributes() const {
  return {{"service", service_}, {"account", account_}};
}

platform::Expected<std::optional<std::string>, AuthenticationError> SecretServiceRefreshTokenStore::read() {
  auto stored = secrets_.lookup(attributes());
  if (!stored) return unavailable(stored.error());
  // With an explicit length, NUL bytes fail the check too.
  if (stored->has_value() && !g_utf8_validate((*stored)->data(), static_cast<gssize>((*stored)->size()), nullptr)) {
    // We never write such an item, and it could never be sent as a token: it is as good as none, and
    // is dropped as a refused token would be, so the user is asked to sign in instead of being told
    // the keyring is out of reach each time.
    logger().error("Secret store item is not text; deleting it");
    if (auto cleared = secrets_.clear(attributes()); !cleared) return unavailable(cleared.error());
    return std::optional<std::string>();
  }
  return std::move(*stored);
}

platform::Expected<platform::Unit, AuthenticationError> SecretServiceRefreshTokenStore::save(std::string_view token) {
  auto stored = secrets_.store(attributes(), account_, token);
  if (!stored) return unavailable(stored.error());
  return platform::Unit{};
}

platform::Expected<platform::Unit, AuthenticationError> SecretServiceRefreshTokenStore::deleteToken() {
  auto cleared = secrets_.clear(attributes());
  if (!cleared) return unavailable(cleared.error());
  return platform::Unit{};
}

}  // namespace tavrel
