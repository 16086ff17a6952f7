#pragma once

// The tests' names for the local service's transfer side, and the client pieces tests pair with it.

#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "local_service/transfer_service.h"
#include "platform/http_transport.h"
#include "records/access_token_providing.h"
#include "support/https_test_server.h"

namespace tavrel::testing {

using StandInService = localservice::TransferService;

// A session as the program builds them (nothing remembered, same-origin redirects only) that
// trusts the test certificate authority.
std::shared_ptr<platform::HttpTransport> makeStandInSession();

// Hands out tokens from a list and records what it was asked. The first call of validAccessToken()
// gives tokens[0]; each accessToken(afterRejecting:) gives the next token in the list (the last
// one again when the list is used up). A failure can be scripted for either call.
class ScriptedAccessTokenProvider final : public AccessTokenProviding {
 public:
  explicit ScriptedAccessTokenProvider(std::vector<std::string> tokens = {"token-1", "token-2"});

  AccessTokenResult validAccessToken(std::stop_token stop) override;
  AccessTokenResult accessToken(std::string_view rejectedToken, std::stop_token stop) override;

  void failValidAccessToken(std::optional<AccessTokenError> error);
  void failRenewal(std::optional<AccessTokenError> error);

  int validCalls() const;
  std::vector<std::string> rejectedTokens() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> tokens_;
  std::size_t next_ = 0;
  std::optional<AccessTokenError> validFailure_;
  std::optional<AccessTokenError> renewalFailure_;
  int validCalls_ = 0;
  std::vector<std::string> rejected_;
};

}  // namespace tavrel::testing
