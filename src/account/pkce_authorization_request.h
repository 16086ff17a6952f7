#pragma once

#include <string>
#include <string_view>

#include "account/authentication_error.h"
#include "platform/expected.h"

namespace tavrel {

// The secrets of one browser sign-in: the anti-forgery state and the PKCE verifier with its S256
// challenge. Made fresh for every attempt and never stored.
struct PKCEAuthorizationRequest {
  std::string state;          // 43 characters, from 32 random bytes
  std::string codeVerifier;   // 86 characters, from 64 random bytes
  std::string codeChallenge;  // 43 characters

  // Fails with secureRandomUnavailable when the system's random source fails.
  static platform::Expected<PKCEAuthorizationRequest, AuthenticationError> make();

  // Base64url of SHA-256 over the verifier's text.
  static std::string challenge(std::string_view codeVerifier);
};

// Standard base64 with "+" as "-", "/" as "_" and no "=" padding.
std::string base64URLEncoded(std::string_view bytes);

}  // namespace tavrel
