#include "support/stand_in_service.h"

#include <algorithm>

#include "platform/curl_transport.h"
#include "service/http_session.h"

namespace tavrel::testing {

std::shared_ptr<platform::HttpTransport> makeStandInSession() {
  platform::CurlTransportOptions options;
  options.certificateAuthorityFile = testCertificateAuthorityFile();
  return std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, options);
}

ScriptedAccessTokenProvider::ScriptedAccessTokenProvider(std::vector<std::string> tokens)
    : tokens_(std::move(tokens)) {}

AccessTokenResult ScriptedAccessTokenProvider::validAccessToken(std::stop_token stop) {
  std::lock_guard lock(mutex_);
  ++validCalls_;
  if (stop.stop_requested()) return platform::unexpected(AccessTokenError::cancelled());
  if (validFailure_) return platform::unexpected(*validFailure_);
  return tokens_.at(std::min(next_, tokens_.size() - 1));
}

AccessTokenResult ScriptedAccessTokenProvider::accessToken(std::string_view rejectedToken, std::stop_token stop) {
  std::lock_guard lock(mutex_);
  rejected_.emplace_back(rejectedToken);
  if (stop.stop_requested()) return platform::unexpected(AccessTokenError::cancelled());
  if (renewalFailure_) return platform::unexpected(*renewalFailure_);
  if (next_ + 1 < tokens_.size()) ++next_;
  return tokens_.at(next_);
}

void ScriptedAccessTokenProvider::failValidAccessToken(std::optional<AccessTokenError> error) {
  std::lock_guard lock(mutex_);
  validFailure_ = std::move(error);
}

void ScriptedAccessTokenProvider::failRenewal(std::optional<AccessTokenError> error) {
  std::lock_guard lock(mutex_);
  renewalFailure_ = std::move(error);
}

int ScriptedAccessTokenProvider::validCalls() const {
  std::lock_guard lock(mutex_);
  return validCalls_;
}

std::vector<std::string> ScriptedAccessTokenProvider::rejectedTokens() const {
  std::lock_guard lock(mutex_);
  return rejected_;
}

}  // namespace tavrel::testing
