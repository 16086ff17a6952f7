#include "account/pkce_authorization_request.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <optional>
#include <vector>

namespace tavrel {

namespace {

std::optional<std::string> randomBytes(std::size_t count) {
  std::string bytes(count, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1) return std::nullopt;
  return bytes;
}

}  // namespace

std::string base64URLEncoded(std::string_view bytes) {
  std::vector<unsigned char> encoded(4 * ((bytes.size() + 2) / 3) + 1);
  const int length = EVP_EncodeBlock(encoded.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
  std::string text;
  text.reserve(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    const char c = static_cast<char>(encoded[static_cast<std::size_t>(i)]);
    if (c == '=') continue;
    text += c == '+' ? '-' : c == '/' ? '_' : c;
  }
  return text;
}

std::string PKCEAuthorizationRequest::challenge(std::string_view codeVerifier) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(codeVerifier.data()), codeVerifier.size(), digest);
  return base64URLEncoded(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

platform::Expected<PKCEAuthorizationRequest, AuthenticationError> PKCEAuthorizationRequest::make() {
  const auto stateBytes = randomBytes(32);
  if (!stateBytes) return platform::unexpected(AuthenticationError(AuthenticationError::Kind::secureRandomUnavailable));
  const auto verifierBytes = randomBytes(64);
  if (!verifierBytes) {
    return platform::unexpected(AuthenticationError(AuthenticationError::Kind::secureRandomUnavailable));
  }
  PKCEAuthorizationRequest request;
  request.state = base64URLEncoded(*stateBytes);
  request.codeVerifier = base64URLEncoded(*verifierBytes);
  request.codeChallenge = challenge(request.codeVerifier);
  return request;
}

}  // namespace tavrel
