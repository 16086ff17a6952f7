#include "local_service/sign_in_service.h"

#include <nlohmann/json.hpp>

#include "account/pkce_authorization_request.h"
#include "platform/uuid.h"

namespace tavrel::localservice {

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

Response oauthError(int status, const char* code) {
  return Response::json(nlohmann::json{{"error", code}}.dump(), status);
}

Response html(int status) {
  Response response;
  response.status = status;
  response.contentType = "text/html";
  response.body = "<html><body>Something went wrong</body></html>";
  return response;
}

}  // namespace

std::string bootstrapJSON(bool canInitiateTransfer) {
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

std::string escapeHTML(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped.push_back(c);
    }
  }
  return escaped;
}

SignInService::SignInService()
    : ownServer_(std::make_unique<HttpsServer>()), server_(*ownServer_) {
  addRoutes();
}

SignInService::SignInService(HttpsServer& server, Options options) : options_(options), server_(server) {
  addRoutes();
}

void SignInService::addRoutes() {
  server_.route("POST", "/api/auth/oauth2/authorize/allow",
                [this](const RecordedRequest& request) { return allow(request); });
  server_.route("GET", "/api/auth/oauth2/authorize", [this](const RecordedRequest& request) { return authorize(request); });
  server_.route("POST", "/api/auth/oauth2/token", [this](const RecordedRequest& request) {
    auto answer = token(request);
    changed();
    return answer;
  });
  server_.route("POST", "/api/auth/oauth2/revoke", [this](const RecordedRequest& request) {
    auto answer = revoke(request);
    changed();
    return answer;
  });
  server_.route("GET", "/api/v1/bootstrap", [this](const RecordedRequest& request) { return bootstrap(request); });
}

SignInService::~SignInService() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  releaseTokenRequests();
  if (ownServer_) ownServer_->stop();
}

bool SignInService::isAccessTokenValid(const std::string& token) const {
  std::lock_guard lock(mutex_);
  return accessTokens_.contains(token);
}

nlohmann::json SignInService::savedState() const {
  std::lock_guard lock(mutex_);
  return nlohmann::json{{"refreshTokens", refreshTokens_}, {"accessTokens", accessTokens_}};
}

void SignInService::restoreState(const nlohmann::json& state) {
  std::lock_guard lock(mutex_);
  refreshTokens_ = state.at("refreshTokens").get<std::set<std::string>>();
  accessTokens_ = state.at("accessTokens").get<std::set<std::string>>();
}

void SignInService::setChangeObserver(std::function<void()> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void SignInService::changed() {
  std::function<void()> observer;
  {
    std::lock_guard lock(mutex_);
    observer = observer_;
  }
  if (observer) observer();
}

std::string SignInService::issueRefreshToken() {
  std::lock_guard lock(mutex_);
  auto token = fresh("refresh-");
  refreshTokens_.insert(token);
  return token;
}

bool SignInService::isRefreshTokenValid(const std::string& token) const {
  std::lock_guard lock(mutex_);
  return refreshTokens_.contains(token);
}

std::vector<std::string> SignInService::revokedTokens() const {
  std::lock_guard lock(mutex_);
  return revoked_;
}

void SignInService::setAccessTokenLifetime(double seconds) {
  std::lock_guard lock(mutex_);
  lifetime_ = seconds;
}

void SignInService::setCanInitiateTransfer(bool allowed) {
  std::lock_guard lock(mutex_);
  canInitiateTransfer_ = allowed;
}

void SignInService::failTokenRequests(TokenFault fault, std::size_t count) {
  std::lock_guard lock(mutex_);
  tokenFault_ = fault;
  tokenFaultCount_ = count;
}

void SignInService::rejectBootstraps(std::size_t count) {
  std::lock_guard lock(mutex_);
  rejectedBootstraps_ = count;
}

void SignInService::failBootstraps(int status) {
  std::lock_guard lock(mutex_);
  bootstrapStatus_ = status;
}

std::size_t SignInService::tokenRequestCount(std::string_view grantType) const {
  std::lock_guard lock(mutex_);
  const auto found = tokenRequests_.find(std::string(grantType));
  return found == tokenRequests_.end() ? 0 : found->second;
}

std::size_t SignInService::bootstrapRequestCount() const {
  std::lock_guard lock(mutex_);
  return bootstrapRequests_;
}

std::size_t SignInService::revokeRequestCount() const {
  std::lock_guard lock(mutex_);
  return revokeRequests_;
}

Response SignInService::authorize(const RecordedRequest& request) {
  platform::Url url = server_.url("/");
  url.setQuery(request.query);
  std::map<std::string, std::string> items;
  for (const auto& item : url.queryItems()) items[item.name] = item.value.value_or("");
  if (items["response_type"] != "code" || items["client_id"] != "tavrel-macos" ||
      items["code_challenge_method"] != "S256" || items["code_challenge"].size() != 43 || items["state"].empty() ||
      items["redirect_uri"] != "com.tavrel.macos:/oauth/callback" || items["scope"] != allScopes ||
      items["resource"] != server_.url("/api").toString()) {
    return Response::json(R"({"error":"invalid_request"})", 400);
  }
  if (!options_.asksUser) return redirectWithCode(items["code_challenge"], items["redirect_uri"], items["state"]);

  const auto consent = fresh("consent-");
  {
    std::lock_guard lock(mutex_);
    consents_[consent] = PendingConsent{items["code_challenge"], items["redirect_uri"], items["state"]};
  }
  Response page;
  page.contentType = "text/html; charset=utf-8";
  page.body = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Sign in to Tavrel</title>
<style>body{font-family:sans-serif;max-width:32em;margin:4em auto;line-height:1.5}
button{font-size:1.1em;padding:.4em 1.6em}</style></head>
<body><h1>Sign in to Tavrel</h1>
<p>Tavrel for desktop asks to use your account )" +
              escapeHTML("ada@example.test") + R"( to send files.</p>
<p><small>This is the local service for development, not the real web service.</small></p>
<form method="post" action="/api/auth/oauth2/authorize/allow">
<input type="hidden" name="request" value=")" +
              escapeHTML(consent) + R"(">
<button type="submit" id="allow">Allow</button>
</form></body></html>
)";
  return page;
}

Response SignInService::allow(const RecordedRequest& request) {
  const auto fields = parseForm(request.body);
  const auto id = fields.find("request");
  std::optional<PendingConsent> consent;
  {
    std::lock_guard lock(mutex_);
    if (id != fields.end()) {
      if (auto found = consents_.find(id->second); found != consents_.end()) {
        consent = found->second;
        consents_.erase(found);  // one answer per page
      }
    }
  }
  if (!consent) {
    Response page;
    page.status = 400;
    page.contentType = "text/html; charset=utf-8";
    page.body = "<!doctype html><html><body><h1>This sign-in request has expired.</h1>"
                "<p>Start signing in again from Tavrel.</p></body></html>\n";
    return page;
  }
  // See Other: the browser follows with a GET, whatever the form's method.
  auto answer = redirectWithCode(consent->challenge, consent->redirectURI, consent->state);
  answer.status = 303;
  return answer;
}

Response SignInService::redirectWithCode(const std::string& challenge, const std::string& redirectURI,
                                         const std::string& state) {
  const auto code = fresh("code-");
  {
    std::lock_guard lock(mutex_);
    codes_[code] = PendingCode{challenge, redirectURI};
  }
  const auto location = platform::Url::parse(redirectURI)->withQueryItems({
      {"code", code},
      {"state", state},
      {"iss", server_.url("/api/auth").toString()},
  });
  return Response::redirect(302, location.toString());
}

std::optional<SignInService::TokenFault> SignInService::takeTokenFault() {
  if (!tokenFault_) return std::nullopt;
  const auto fault = tokenFault_;
  if (tokenFaultCount_ > 0 && --tokenFaultCount_ == 0) tokenFault_.reset();
  return fault;
}

void SignInService::setRevokeDelay(std::chrono::milliseconds delay) {
  {
    std::lock_guard lock(mutex_);
    revokeDelay_ = delay;
  }
  released_.notify_all();
}

void SignInService::holdTokenRequests() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

void SignInService::releaseTokenRequests() {
  {
    std::lock_guard lock(mutex_);
    holding_ = false;
  }
  released_.notify_all();
}

Response SignInService::token(const RecordedRequest& request) {
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

Response SignInService::issueTokens(const std::optional<TokenFault>& fault) {
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
  return Response::json(body.dump());
}

Response SignInService::revoke(const RecordedRequest& request) {
  auto fields = parseForm(request.body);
  std::unique_lock lock(mutex_);
  ++revokeRequests_;
  released_.wait_for(lock, revokeDelay_, [&] { return stopping_ || revokeDelay_ == std::chrono::milliseconds(0); });
  if (fields["client_id"] != "tavrel-macos" || fields["token_type_hint"] != "refresh_token") {
    return oauthError(400, "invalid_request");
  }
  refreshTokens_.erase(fields["token"]);
  revoked_.push_back(fields["token"]);
  return Response::json("{}");
}

Response SignInService::bootstrap(const RecordedRequest& request) {
  std::lock_guard lock(mutex_);
  ++bootstrapRequests_;
  if (rejectedBootstraps_ > 0) {
    --rejectedBootstraps_;
    return Response::json(R"({"error":"unauthorized"})", 401);
  }
  if (bootstrapStatus_ != 200) return html(bootstrapStatus_);
  const auto authorization = request.header("Authorization").value_or("");
  const std::string prefix = "Bearer ";
  if (authorization.rfind(prefix, 0) != 0 || !accessTokens_.contains(authorization.substr(prefix.size()))) {
    return Response::json(R"({"error":"unauthorized"})", 401);
  }
  return Response::json(bootstrapJSON(canInitiateTransfer_));
}

}  // namespace tavrel::localservice
