#pragma once

#include <map>
#include <memory>
#include <string>

#include "account/authentication_api.h"
#include "account/oauth_configuration.h"
#include "platform/http_transport.h"

namespace tavrel {

// The sign-in requests over the shared API session. Every outcome becomes a decoded record or an
// AuthenticationError; nothing is retried here. Tokens, codes and bodies are never logged.
// Immutable; safe to call from several threads at once.
class AuthenticationAPIClient final : public AuthenticationAPI {
 public:
  AuthenticationAPIClient(OAuthConfiguration configuration, std::shared_ptr<platform::HttpTransport> session);

  TokenResult exchange(std::string_view code, std::string_view codeVerifier, std::stop_token stop) override;
  TokenResult refresh(std::string_view refreshToken, std::stop_token stop) override;
  void revoke(std::string_view refreshToken, std::stop_token stop) override;
  BootstrapResult bootstrap(std::string_view accessToken, std::stop_token stop) override;

  // "name=value" pairs sorted by name and joined with "&"; everything but US-ASCII letters, digits
  // and "-._~" is percent-encoded as UTF-8 bytes.
  static std::string formBody(const std::map<std::string, std::string>& fields);

  const OAuthConfiguration& configuration() const { return configuration_; }

 private:
  TokenResult tokenRequest(const std::map<std::string, std::string>& fields, std::stop_token stop);

  OAuthConfiguration configuration_;
  std::shared_ptr<platform::HttpTransport> session_;
};

}  // namespace tavrel
