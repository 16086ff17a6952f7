#include "account/oauth_configuration.h"

#include <algorithm>
#include <cctype>

namespace tavrel {

using platform::Url;

namespace {

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string joinedScopes() {
  std::string joined;
  for (const auto& scope : OAuthConfiguration::scopes()) {
    if (!joined.empty()) joined += ' ';
    joined += scope;
  }
  return joined;
}

}  // namespace

Url appendingPath(const Url& base, std::string_view component) {
  std::string path = base.path();
  if (path.empty() || path.back() != '/') path += '/';
  path += component;
  Url result = base;
  result.setPath(path);
  return result;
}

const std::vector<std::string>& OAuthConfiguration::scopes() {
  static const std::vector<std::string> values{"openid", "offline_access", "account:read", "transfers:create",
                                               "transfers:read"};
  return values;
}

Url OAuthConfiguration::authorizationEndpoint() const {
  return appendingPath(appendingPath(webAppURL, "api/auth"), "oauth2/authorize");
}

Url OAuthConfiguration::tokenEndpoint() const {
  return appendingPath(appendingPath(webAppURL, "api/auth"), "oauth2/token");
}

Url OAuthConfiguration::revocationEndpoint() const {
  return appendingPath(appendingPath(webAppURL, "api/auth"), "oauth2/revoke");
}

Url OAuthConfiguration::bootstrapEndpoint() const { return appendingPath(webAppURL, "api/v1/bootstrap"); }

std::string OAuthConfiguration::resource() const { return appendingPath(webAppURL, "api").toString(); }

std::string OAuthConfiguration::issuer() const { return appendingPath(webAppURL, "api/auth").toString(); }

const Url& OAuthConfiguration::redirectURI() {
  static const Url uri = *Url::parse(redirectURIText);
  return uri;
}

platform::Expected<Url, AuthenticationError> OAuthConfiguration::authorizationURL(std::string_view state,
                                                                                   std::string_view codeChallenge) const {
  const Url endpoint = authorizationEndpoint();
  if (endpoint.isEmpty() || !endpoint.hasAuthority()) {
    return platform::unexpected(AuthenticationError(AuthenticationError::Kind::invalidConfiguration));
  }
  return endpoint.withQueryItems({
      {"response_type", "code"},
      {"client_id", std::string(clientID)},
      {"redirect_uri", redirectURI().toString()},
      {"scope", joinedScopes()},
      {"resource", resource()},
      {"state", std::string(state)},
      {"code_challenge", std::string(codeChallenge)},
      {"code_challenge_method", "S256"},
  });
}

std::optional<std::string> OAuthConfiguration::normalizedIssuer(std::string_view text) {
  auto url = Url::parse(text);
  if (!url || url->host().empty()) return std::nullopt;
  url->setHost(lowercased(url->host()));
  std::string path = url->path();
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (!url->setPath(path) || !url->setQuery(std::nullopt) || !url->setFragment(std::nullopt)) return std::nullopt;
  return url->toString();
}

}  // namespace tavrel
