#pragma once

#include <string>

#include "account/refresh_token_storing.h"
#include "platform/secret_service.h"
#include "platform/url.h"

namespace tavrel {

// The refresh token in the desktop's Secret Service: one item per web-application origin, holding
// nothing but the token's UTF-8 bytes, found by the attributes "service" and "account". Installations
// pointed at different web applications keep separate tokens. Immutable; safe to call from any
// worker thread.
class SecretServiceRefreshTokenStore final : public RefreshTokenStoring {
 public:
  static constexpr const char* defaultService = "com.tavrel.desktop";
  static constexpr const char* schemaName = "com.tavrel.desktop.RefreshToken";

  SecretServiceRefreshTokenStore(const platform::Url& webAppURL, std::string service = defaultService);

  // "oauth-refresh-token:" and the address's origin: scheme and host lower-cased, port and user
  // kept, no path, query or fragment.
  static std::string account(const platform::Url& webAppURL);

  // An item that is not text (not UTF-8, or with NUL bytes) is deleted and read as none.
  platform::Expected<std::optional<std::string>, AuthenticationError> read() override;
  platform::Expected<platform::Unit, AuthenticationError> save(std::string_view token) override;
  platform::Expected<platform::Unit, AuthenticationError> deleteToken() override;

  const std::string& service() const { return service_; }
  const std::string& account() const { return account_; }

 private:
  platform::SecretService::Attributes attributes() const;

  std::string service_;
  std::string account_;
  platform::SecretService secrets_;
};

}  // namespace tavrel
