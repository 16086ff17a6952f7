#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/url.h"
#include "support/https_test_server.h"

namespace tavrel::testing {

// The web application's sign-in side, in process over real TLS: authorize (redirecting to the
// program's callback with code, state and issuer), token (code exchange with PKCE S256 checked,
// single-use codes; refresh with rotating refresh tokens), revoke, and the bootstrap behind a bearer
// access token. Faults are switched on per test. Thread-safe: handlers run on the server's threads.
class StandInAuthServer {
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

  StandInAuthServer();
  ~StandInAuthServer();

  HttpsTestServer& server() { return server_; }
  // The web application's address, "https://127.0.0.1:<port>".
  platform::Url webAppURL() const { return server_.url("/"); }

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

  // While held, token requests wait before they are answered (they are counted on arrival).
  void holdTokenRequests();
  void releaseTokenRequests();

  std::size_t tokenRequestCount(std::string_view grantType) const;
  std::size_t bootstrapRequestCount() const;
  std::size_t revokeRequestCount() const;

 private:
  StandInResponse authorize(const RecordedRequest& request);
  StandInResponse token(const RecordedRequest& request);
  StandInResponse revoke(const RecordedRequest& request);
  StandInResponse bootstrap(const RecordedRequest& request);
  StandInResponse issueTokens(const std::optional<TokenFault>& fault);  // mutex held
  std::optional<TokenFault> takeTokenFault();                          // mutex held

  struct PendingCode {
    std::string challenge;
    std::string redirectURI;
  };

  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool holding_ = false;
  std::map<std::string, PendingCode> codes_;
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
  HttpsTestServer server_;
};

// The body of the stand-in's bootstrap.
std::string standInBootstrapJSON(bool canInitiateTransfer = true);

}  // namespace tavrel::testing
