#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/url.h"
#include <nlohmann/json_fwd.hpp>

#include "local_service/https_server.h"

namespace tavrel::localservice {

// The web application's sign-in side over real TLS: authorize (redirecting to the program's
// callback with code, state and issuer, at once or after the user's "Allow" on a page), token (code
// exchange with PKCE S256 checked, single-use codes; refresh with rotating refresh tokens), revoke,
// and the bootstrap behind a bearer access token. Faults are switched on per test through this
// class only. Thread-safe: handlers run on the server's threads.
class SignInService {
 public:
  enum class TokenFault {
    invalidGrant,      // 400 {"error":"invalid_grant"}
    invalidRequest,    // 400 {"error":"invalid_request"}
    unauthorized,      // 401 with an HTML body
    serverError,       // 500 with an HTML body
    noRefreshToken,    // 200 without "refresh_token"
    missingScope,      // 200 whose scope lacks "transfers:create"
    lowerCaseBearer,   // 200 with token_type "bearer"
    otherTokenType,    // 200 with token_type "mac"
  };

  struct Options {
    // Authorize answers with a page whose "Allow" button leads to the callback, as a browser
    // sign-in does, instead of redirecting at once.
    bool asksUser = false;
  };

  // On a server of its own, with an ephemeral port.
  SignInService();
  // On `server`, beside other routes; the server must outlive this.
  SignInService(HttpsServer& server, Options options);
  ~SignInService();
  SignInService(const SignInService&) = delete;
  SignInService& operator=(const SignInService&) = delete;

  HttpsServer& server() { return server_; }
  // The web application's address, "https://127.0.0.1:<port>".
  platform::Url webAppURL() const { return server_.url("/"); }

  bool isAccessTokenValid(const std::string& token) const;
  // The accounts' tokens, to keep across restarts, and their restoring.
  nlohmann::json savedState() const;
  void restoreState(const nlohmann::json& state);
  // Called after each request that may have changed the saved state, outside any lock.
  void setChangeObserver(std::function<void()> observer);

  // A refresh token the server accepts, as if from an earlier sign-in.
  std::string issueRefreshToken();
  bool isRefreshTokenValid(const std::string& token) const;
  std::vector<std::string> revokedTokens() const;

  void setAccessTokenLifetime(double seconds);
  void setCanInitiateTransfer(bool allowed);
  // The next `count` token requests play `fault` (0: every one from now on).
  void failTokenRequests(TokenFault fault, std::size_t count = 1);
  // The next `count` bootstrap requests answer 401 whatever token they carry.
  void rejectBootstraps(std::size_t count = 1);
  void failBootstraps(int status);

  // Revoke requests wait this long before they are answered (they are counted on arrival); a delay
  // set to zero, or the service's end, answers those waiting at once.
  void setRevokeDelay(std::chrono::milliseconds delay);
  // While held, token requests wait before they are answered (they are counted on arrival).
  void holdTokenRequests();
  void releaseTokenRequests();

  std::size_t tokenRequestCount(std::string_view grantType) const;
  std::size_t bootstrapRequestCount() const;
  std::size_t revokeRequestCount() const;

 private:
  void addRoutes();
  Response authorize(const RecordedRequest& request);
  Response allow(const RecordedRequest& request);
  Response redirectWithCode(const std::string& challenge, const std::string& redirectURI, const std::string& state);
  void changed();
  Response token(const RecordedRequest& request);
  Response revoke(const RecordedRequest& request);
  Response bootstrap(const RecordedRequest& request);
  Response issueTokens(const std::optional<TokenFault>& fault);  // mutex held
  std::optional<TokenFault> takeTokenFault();                          // mutex held

  struct PendingCode {
    std::string challenge;
    std::string redirectURI;
  };
  struct PendingConsent {
    std::string challenge;
    std::string redirectURI;
    std::string state;
  };

  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool holding_ = false;
  bool stopping_ = false;
  std::chrono::milliseconds revokeDelay_{0};
  std::map<std::string, PendingCode> codes_;
  std::map<std::string, PendingConsent> consents_;  // pages shown, by their request id
  std::set<std::string> refreshTokens_;
  std::set<std::string> accessTokens_;
  std::vector<std::string> revoked_;
  std::map<std::string, std::size_t> tokenRequests_;
  std::size_t bootstrapRequests_ = 0;
  std::size_t revokeRequests_ = 0;
  double lifetime_ = 3600;
  bool canInitiateTransfer_ = true;
  std::optional<TokenFault> tokenFault_;
  std::size_t tokenFaultCount_ = 0;
  std::size_t rejectedBootstraps_ = 0;
  int bootstrapStatus_ = 200;
  std::function<void()> observer_;
  Options options_;
  std::unique_ptr<HttpsServer> ownServer_;
  HttpsServer& server_;
};

// The body of the bootstrap: one user, Ada, in the workspace "Studio".
std::string bootstrapJSON(bool canInitiateTransfer = true);

// Text made safe to stand inside HTML text or a quoted attribute.
std::string escapeHTML(std::string_view text);

}  // namespace tavrel::localservice
