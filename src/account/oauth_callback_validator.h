#pragma once

#include <string>
#include <string_view>

#include "account/authentication_error.h"
#include "account/oauth_configuration.h"
#include "platform/expected.h"

namespace tavrel {

// Checks the address the browser came back with for one sign-in attempt. The state is checked before
// anything else in the answer is believed, so a forged answer's "error" is never shown as ours.
struct OAuthCallbackValidator {
  OAuthConfiguration configuration;
  std::string expectedState;

  // The authorization code; or invalidCallback, stateMismatch, issuerMismatch or oauth.
  platform::Expected<std::string, AuthenticationError> validate(std::string_view callbackURL) const;
};

}  // namespace tavrel
