#include "support/stand_in_auth_server.h"

#include <nlohmann/json.hpp>

#include "account/pkce_authorization_request.h"
#include "platform/uuid.h"

namespace tavrel::testing {

namespace {

const char* const allScopes = "openid offline_access account:read transfers:create transfers:read";

std::map<std::string, std::string> parseForm(std::string_view text) {
  std::map<std::string, std::string> fields;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const auto pair = text.substr(start, end - start);
    const auto equals = pair.find('=');
    const auto name = platform::percentDecode(pair.substr(0, equals));
    const auto value = equals == std::string_view::npos ? std::optional<std::string>("")
                                                        : platform::percentDecode(pair.substr(equals + 1));
    if (name && value) fields[*name] = *value;
    start = end + 1;
  }
  return fields;
}

std::string fresh(std::string_view prefix) { return std::string(prefix) + platform::Uuid::generate().toString(); }

StandInResponse oauthError(int status, const char* code) {
  return StandInResponse::json(nlohmann::json{{"error", code}}.dump(), status);
}

StandInResponse html(int status) {
  StandInResponse response;
  response.status = status;
  response.contentType = "text/html";
  response.body = "<html><body>Something went wrong</body></html>";
  return response;
}

}  // namespace

std::string standInBootstrapJSON(bool canInitiateTransfer) {
  return nlohmann::json{
      {"user", {{"id", "user-1"}, {"name", "Ada"}, {"email", "ada@example.test"}}},
      {"workspace", {{"id", "workspace-1"}, {"name", "Studio"}, {"role", "owner"}, {"kind", "team"}}},
      {"plan", {{"codename", "pro"}, {"isFreeTier", false}, {"canUpgradePlan", true}}},
      {"permissions", {{"canInitiateTransfer", canInitiateTransfer}}},
      {"features", nlohmann::json::array({{{"codename", "max_transfer_size"}, {"limitValue", "250GB"}}})},
      {"transferSettings",
       {{"defaults",
         {{"region", "eu"}, {"expiryDays", 7}, {"oneTimeDownload", false}, {"isReviewEnabled", false},
          {"filePreviewEnabled", true}}},
        {"feedback", {{"successSoundEnabled", true}, {"failureSoundEnabled", true}, {"confettiEnabled", false}}}}},
  }
      .dump();
}

StandInAuthServer::StandInAuthServer() {
  server_.route("GET", "/api/auth/oauth2/authorize", [this](const RecordedRequest& request) { return authorize(request); });
  server_.route("POST", "/api/auth/oauth2/token", [this](const RecordedRequest& request) { return token(request); });
  server_.route("POST", "/api/auth/oauth2/revoke", [this](const RecordedRequest& request) { return revoke(request); });
  server_.route("GET", "/api/v1/bootstrap", [this](const RecordedRequest& request) { return bootstrap(request); });
}

StandInAuthServer::~StandInAuthServer() {
  releaseTokenRequests();
  server_.stop();
}

std::string StandInAuthServer::issueRefreshToken() {
  std::lock_guard lock(mutex_);
  auto token = fresh("refresh-");
  refreshTokens_.insert(token);
  return token;
}

bool StandInAuthServer::isRefreshTokenValid(const std::string& token) const {
  std::lock_guard lock(mutex_);
  return refreshTokens_.contains(token);
}

std::vector<std::string> StandInAuthServer::revokedTokens() const {
  std::lock_guard lock(mutex_);
  return revoked_;
}

void StandInAuthServer::setAccessTokenLifetime(double seconds) {
  std::lock_guard lock(mutex_);
  lifetime_ = seconds;
}

void StandInAuthServer::setCanInitiateTransfer(bool allowed) {
  std::lock_guard lock(mutex_);
  canInitiateTransfer_ = allowed;
}

void StandInAuthServer::failTokenRequests(TokenFault fault, std::size_t count) {
  std::lock_guard lock(mutex_);
  tokenFault_ = fault;
  tokenFaultCount_ = count;
}

void StandInAuthServer::rejectBootstraps(std::size_t count) {
  std::lock_guard lock(mutex_);
  rejectedBootstraps_ = count;
}

void StandInAuthServer::failBootstraps(int status) {
  std::lock_guard lock(mutex_);
  bootstrapStatus_ = status;
}

std::size_t StandInAuthServer::tokenRequestCount(std::string_view grantType) const {
  std::lock_guard lock(mutex_);
  const auto found = tokenRequests_.find(std::string(grantType));
  return found == tokenRequests_.end() ? 0 : found->second;
}

std::size_t StandInAuthServer::bootstrapRequestCount() const {
  std::lock_guard lock(mutex_);
  return bootstrapRequests_;
}

std::size_t StandInAuthServer::revokeRequestCount() const {
  std::lock_guard lock(mutex_);
  return revokeRequests_;
}

StandInResponse StandInAuthServer::authorize(const RecordedRequest& request) {
  platform::Url url = server_.url("/");
  url.setQuery(request.query);
  std::map<std::string, std::string> items;
  for (const auto& item : url.queryItems()) items[item.name] = item.value.value_or("");
  if (items["response_type"] != "code" || items["client_id"] != "tavrel-macos" ||
      items["code_challenge_method"] != "S256" || items["code_challenge"].size() != 43 || items["state"].empty() ||
      items["redirect_uri"] != "com.tavrel.macos:/oauth/callback" || items["scope"] != allScopes ||
      items["resource"] != server_.url("/api").toString()) {
    return StandInResponse::json(R"({"error":"invalid_request"})", 400);
  }
  const auto code = fresh("code-");
  {
    std::lock_guard lock(mutex_);
    codes_[code] = PendingCode{items["code_challenge"], items["redirect_uri"]};
  }
  const auto location = platform::Url::parse(items["redirect_uri"])->withQueryItems({
      {"code", code},
      {"state", items["state"]},
      {"iss", server_.url("/api/auth").toString()},
  });
  return StandInResponse::redirect(302, location.toString());
}

std::optional<StandInAuthServer::TokenFault> StandInAuthServer::takeTokenFault() {
  if (!tokenFault_) return std::nullopt;
  const auto fault = tokenFault_;
  if (tokenFaultCount_ > 0 && --tokenFaultCount_ == 0) tokenFault_.reset();
  return fault;
}

void StandInAuthServer::holdTokenRequests() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

void StandInAuthServer::releaseTokenRequests() {
  {
    std::lock_guard lock(mutex_);
    holding_ = false;
  }
  released_.notify_all();
}

StandInResponse StandInAuthServer::token(const RecordedRequest& request) {
  auto fields = parseForm(request.body);
  std::unique_lock lock(mutex_);
  ++tokenRequests_[fields["grant_type"]];
  released_.wait(lock, [&] { return !holding_; });
  const auto fault = takeTokenFault();
  if (fault == TokenFault::invalidGrant) return oauthError(400, "invalid_grant");
  if (fault == TokenFault::invalidRequest) return oauthError(400, "invalid_request");
  if (fault == TokenFault::unauthorized) return html(401);
  if (fault == TokenFault::serverError) return html(500);

  if (request.header("Content-Type") != "application/x-www-form-urlencoded" || fields["client_id"] != "tavrel-macos" ||
      fields["resource"] != server_.url("/api").toString()) {
    return oauthError(400, "invalid_request");
  }
  if (fields["grant_type"] == "authorization_code") {
    const auto pending = codes_.find(fields["code"]);
    if (pending == codes_.end()) return oauthError(400, "invalid_grant");
    const auto expected = pending->second;
    codes_.erase(pending);  // single use, whatever happens next
    if (fields["redirect_uri"] != expected.redirectURI ||
        PKCEAuthorizationRequest::challenge(fields["code_verifier"]) != expected.challenge) {
      return oauthError(400, "invalid_grant");
    }
    return issueTokens(fault);
  }
  if (fields["grant_type"] == "refresh_token") {
    if (refreshTokens_.erase(fields["refresh_token"]) == 0) return oauthError(400, "invalid_grant");
    return issueTokens(fault);
  }
  return oauthError(400, "unsupported_grant_type");
}

StandInResponse StandInAuthServer::issueTokens(const std::optional<TokenFault>& fault) {
  const auto access = fresh("access-");
  const auto refresh = fresh("refresh-");
  accessTokens_.insert(access);
  nlohmann::json body{{"access_token", access},
                      {"token_type", fault == TokenFault::lowerCaseBearer ? "bearer"
                                     : fault == TokenFault::otherTokenType ? "mac"
                                                                            : "Bearer"},
                      {"expires_in", lifetime_},
                      {"scope", fault == TokenFault::missingScope ? "openid offline_access account:read transfers:read"
                                                                   : "transfers:read  openid transfers:create extra "
                                                                     "account:read offline_access"}};
  if (fault != TokenFault::noRefreshToken) {
    refreshTokens_.insert(refresh);
    body["refresh_token"] = refresh;
  }
  return StandInResponse::json(body.dump());
}

StandInResponse StandInAuthServer::revoke(const RecordedRequest& request) {
  auto fields = parseForm(request.body);
  std::lock_guard lock(mutex_);
  ++revokeRequests_;
  if (fields["client_id"] != "tavrel-macos" || fields["token_type_hint"] != "refresh_token") {
    return oauthError(400, "invalid_request");
  }
  refreshTokens_.erase(fields["token"]);
  revoked_.push_back(fields["token"]);
  return StandInResponse::json("{}");
}

StandInResponse StandInAuthServer::bootstrap(const RecordedRequest& request) {
  std::lock_guard lock(mutex_);
  ++bootstrapRequests_;
  if (rejectedBootstraps_ > 0) {
    --rejectedBootstraps_;
    return StandInResponse::json(R"({"error":"unauthorized"})", 401);
  }
  if (bootstrapStatus_ != 200) return html(bootstrapStatus_);
  const auto authorization = request.header("Authorization").value_or("");
  const std::string prefix = "Bearer ";
  if (authorization.rfind(prefix, 0) != 0 || !accessTokens_.contains(authorization.substr(prefix.size()))) {
    return StandInResponse::json(R"({"error":"unauthorized"})", 401);
  }
  return StandInResponse::json(standInBootstrapJSON(canInitiateTransfer_));
}

}  // namespace tavrel::testing
