#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "account/authentication_error.h"
#include "platform/expected.h"
#include "platform/url.h"

namespace tavrel {

// The public OAuth client of the program, all derived from the web application's address.
struct OAuthConfiguration {
  platform::Url webAppURL;

  static constexpr std::string_view callbackScheme = "com.tavrel.macos";
  static constexpr std::string_view clientID = "tavrel-macos";
  static constexpr std::string_view redirectURIText = "com.tavrel.macos:/oauth/callback";
  static const std::vector<std::string>& scopes();

  platform::Url authorizationEndpoint() const;
  platform::Url tokenEndpoint() const;
  platform::Url revocationEndpoint() const;
  platform::Url bootstrapEndpoint() const;
  std::string resource() const;
  std::string issuer() const;
  static const platform::Url& redirectURI();

  // The address the browser opens: the authorize endpoint with exactly the eight sign-in items.
  platform::Expected<platform::Url, AuthenticationError> authorizationURL(std::string_view state,
                                                                           std::string_view codeChallenge) const;

  // Scheme and host lower-cased, trailing slashes of the path, query and fragment dropped; none when
  // the text is not an address with a host.
  static std::optional<std::string> normalizedIssuer(std::string_view text);

  friend bool operator==(const OAuthConfiguration&, const OAuthConfiguration&) = default;
};

// `base` with `component` appended to its path: one "/" between, the base's own path kept.
platform::Url appendingPath(const platform::Url& base, std::string_view component);

}  // namespace tavrel
