#include "account/authentication_api_client.h"

#include "platform/json.h"
#include "platform/logger.h"

namespace tavrel {

using Kind = AuthenticationError::Kind;

namespace {

constexpr auto requestTimeout = std::chrono::seconds(60);

const platform::Logger& logger() {
  static const platform::Logger instance("com.tavrel.desktop", "AuthenticationAPIClient");
  return instance;
}

platform::Unexpected<AuthenticationError> failure(Kind kind) { return platform::unexpected(AuthenticationError(kind)); }

// The token endpoint's error answer; only "error" is read.
struct OAuthErrorResponse {
  std::string error;
  static OAuthErrorResponse fromJson(const platform::JsonValue& json) { return {json.object().string("error")}; }
};

}  // namespace

AuthenticationAPIClient::AuthenticationAPIClient(OAuthConfiguration configuration,
                                                 std::shared_ptr<platform::HttpTransport> session)
    : configuration_(std::move(configuration)), session_(std::move(session)) {}

std::string AuthenticationAPIClient::formBody(const std::map<std::string, std::string>& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += platform::percentEncode(name, platform::CharacterSet::unreserved());
    body += '=';
    body += platform::percentEncode(value, platform::CharacterSet::unreserved());
  }
  return body;
}

AuthenticationAPI::TokenResult AuthenticationAPIClient::exchange(std::string_view code, std::string_view codeVerifier,
                                                                 std::stop_token stop) {
  return tokenRequest({{"client_id", std::string(OAuthConfiguration::clientID)},
                       {"code", std::string(code)},
                       {"code_verifier", std::string(codeVerifier)},
                       {"grant_type", "authorization_code"},
                       {"redirect_uri", OAuthConfiguration::redirectURI().toString()},
                       {"resource", configuration_.resource()}},
                      stop);
}

AuthenticationAPI::TokenResult AuthenticationAPIClient::refresh(std::string_view refreshToken, std::stop_token stop) {
  return tokenRequest({{"client_id", std::string(OAuthConfiguration::clientID)},
                       {"grant_type", "refresh_token"},
                       {"refresh_token", std::string(refreshToken)},
                       {"resource", configuration_.resource()}},
                      stop);
}

AuthenticationAPI::TokenResult AuthenticationAPIClient::tokenRequest(const std::map<std::string, std::string>& fields,
                                                                     std::stop_token stop) {
  platform::HttpRequest request;
  request.method = "POST";
  request.url = configuration_.tokenEndpoint();
  request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}, {"Accept", "application/json"}};
  request.body = formBody(fields);
  request.idleTimeout = requestTimeout;

  const auto response = session_->send(request, stop);
  if (!response) {
    if (response.error().code != platform::TransportErrorCode::cancelled) {
      logger().error("Token request failed: {}", platform::publicArg(platform::toString(response.error().code)));
    }
    return failure(Kind::transportUnavailable);
  }
  if (response->status == 200) {
    auto decoded = platform::tryDecodeJson<OAuthTokenResponse>(response->body);
    if (!decoded) {
      logger().error("Token answer could not be decoded at {}", platform::publicArg(decoded.error().path()));
      return failure(Kind::unexpectedResponse);
    }
    return std::move(*decoded);
  }
  logger().error("Token request answered {}", response->status);
  const auto error = platform::tryDecodeJson<OAuthErrorResponse>(response->body);
  if (error && error->error == "invalid_grant") return failure(Kind::invalidGrant);
  if (response->status == 401) return failure(Kind::unauthorized);
  return platform::unexpected(AuthenticationError::oauth(error ? error->error : "token_error", std::nullopt));
}

void AuthenticationAPIClient::revoke(std::string_view refreshToken, std::stop_token stop) {
  platform::HttpRequest request;
  request.method = "POST";
  request.url = configuration_.revocationEndpoint();
  // An empty value keeps the transport from adding an Accept header of its own.
  request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}, {"Accept", ""}};
  request.body = formBody({{"client_id", std::string(OAuthConfiguration::clientID)},
                           {"token", std::string(refreshToken)},
                           {"token_type_hint", "refresh_token"}});
  request.idleTimeout = requestTimeout;
  (void)session_->send(request, stop);
}

AuthenticationAPI::BootstrapResult AuthenticationAPIClient::bootstrap(std::string_view accessToken,
                                                                      std::stop_token stop) {
  platform::HttpRequest request;
  request.url = configuration_.bootstrapEndpoint();
  request.headers = {{"Authorization", "Bearer " + std::string(accessToken)}, {"Accept", "application/json"}};
  request.idleTimeout = requestTimeout;

  const auto response = session_->send(request, stop);
  if (!response) {
    if (response.error().code != platform::TransportErrorCode::cancelled) {
      logger().error("Bootstrap request failed: {}", platform::publicArg(platform::toString(response.error().code)));
    }
    return failure(Kind::transportUnavailable);
  }
  if (response->status == 401) return failure(Kind::unauthorized);
  if (response->status != 200) {
    logger().error("Bootstrap request answered {}", response->status);
    return failure(Kind::transportUnavailable);
  }
  auto decoded = platform::tryDecodeJson<AppBootstrap>(response->body);
  if (!decoded) {
    logger().error("Bootstrap could not be decoded at {}", platform::publicArg(decoded.error().path()));
    return failure(Kind::unexpectedResponse);
  }
  return std::move(*decoded);
}

}  // namespace tavrel
