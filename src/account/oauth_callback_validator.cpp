#include "account/oauth_callback_validator.h"

#include <map>
#include <optional>

namespace tavrel {

using Kind = AuthenticationError::Kind;

namespace {

platform::Unexpected<AuthenticationError> failure(Kind kind) { return platform::unexpected(AuthenticationError(kind)); }

}  // namespace

platform::Expected<std::string, AuthenticationError> OAuthCallbackValidator::validate(std::string_view callbackURL) const {
  const std::string schemePrefix = std::string(OAuthConfiguration::callbackScheme) + ":";
  // The scheme must be written exactly; parsing alone would accept other letter cases.
  if (callbackURL.substr(0, schemePrefix.size()) != schemePrefix) return failure(Kind::invalidCallback);
  const auto url = platform::Url::parse(callbackURL);
  if (!url) return failure(Kind::invalidCallback);
  const auto& redirect = OAuthConfiguration::redirectURI();
  if (!url->host().empty() || url->port() || url->userInfo()) return failure(Kind::invalidCallback);
  if (url->path() != redirect.path()) return failure(Kind::invalidCallback);

  std::map<std::string, std::string> items;
  for (const auto& item : url->queryItems()) {
    if (!items.emplace(item.name, item.value.value_or("")).second) return failure(Kind::invalidCallback);
  }
  const auto find = [&items](const char* name) -> const std::string* {
    const auto found = items.find(name);
    return found == items.end() ? nullptr : &found->second;
  };

  const auto* state = find("state");
  if (!state || *state != expectedState) return failure(Kind::stateMismatch);

  if (const auto* error = find("error"); error && !error->empty()) {
    std::optional<std::string> description;
    if (const auto* text = find("error_description")) description = *text;
    return platform::unexpected(AuthenticationError::oauth(*error, std::move(description)));
  }

  const auto* issuer = find("iss");
  const auto received = issuer ? OAuthConfiguration::normalizedIssuer(*issuer) : std::nullopt;
  const auto expected = OAuthConfiguration::normalizedIssuer(configuration.issuer());
  if (!received || !expected || *received != *expected) return failure(Kind::issuerMismatch);

  const auto* code = find("code");
  if (!code || code->empty()) return failure(Kind::invalidCallback);
  return *code;
}

}  // namespace tavrel
