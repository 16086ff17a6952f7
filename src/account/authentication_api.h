#pragma once

#include <stop_token>
#include <string_view>

#include "records/account_models.h"
#include "account/authentication_error.h"
#include "platform/expected.h"

namespace tavrel {

// The four requests of signing in: the code exchange and the refresh at the token endpoint, the
// revocation of a refresh token, and the bootstrap document.
//
// Every call blocks until the server answered: call them on worker threads. A stopped token ends the
// request early with transportUnavailable (the caller has stopped listening by then).
class AuthenticationAPI {
 public:
  using TokenResult = platform::Expected<OAuthTokenResponse, AuthenticationError>;
  using BootstrapResult = platform::Expected<AppBootstrap, AuthenticationError>;

  virtual ~AuthenticationAPI() = default;

  virtual TokenResult exchange(std::string_view code, std::string_view codeVerifier, std::stop_token stop) = 0;
  virtual TokenResult refresh(std::string_view refreshToken, std::stop_token stop) = 0;
  // Fire and forget: whatever the server answers, or if it cannot be reached, nothing is reported.
  virtual void revoke(std::string_view refreshToken, std::stop_token stop) = 0;
  virtual BootstrapResult bootstrap(std::string_view accessToken, std::stop_token stop) = 0;
};

}  // namespace tavrel
