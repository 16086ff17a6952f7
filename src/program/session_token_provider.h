#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "records/access_token_providing.h"

namespace tavrel {

class AuthenticationStore;

// The tokens of the upload engine's service client: the signed-in session's, and during a sign-out
// the session's last token, so that the transfer the sign-out abandons can still be deleted on the
// service after the session itself has ended. The refresh token is revoked at sign-out; the last
// access token stays good until it expires, which is all a delete needs.
//
// IMPORTANT: Thread-safety. The token calls run on worker threads like the store's own; hold() and
// release() are called on the main thread.
class SessionTokenProvider final : public AccessTokenProviding {
 public:
  explicit SessionTokenProvider(std::weak_ptr<AuthenticationStore> store);

  AccessTokenResult validAccessToken(std::stop_token stop) override;
  AccessTokenResult accessToken(std::string_view rejectedToken, std::stop_token stop) override;

  // Keeps the signed-in session's current token for the clean-up of a sign-out; nothing when not
  // signed in.
  void holdForSignOut();
  // The sign-out's clean-up has ended: only the session's tokens are handed out again.
  void release();

 private:
  std::optional<std::string> heldToken() const;

  std::weak_ptr<AuthenticationStore> store_;
  mutable std::mutex mutex_;
  std::optional<std::string> held_;
};

}  // namespace tavrel
