#pragma once

#include <stop_token>
#include <string>
#include <string_view>

#include "platform/expected.h"

namespace tavrel {

// Why no access token could be had. `message` is the user-facing text of the sign-in failure behind
// it (for example "Your session has expired. Please sign in again."); service clients pass the error
// on unchanged and never retry it. A cancelled request (its stop token was stopped, or the session
// was signed out while a renewal ran) is not a failure: callers end quietly.
struct AccessTokenError {
  enum class Kind { failed, cancelled };

  Kind kind = Kind::failed;
  std::string message;

  static AccessTokenError failed(std::string message) { return {Kind::failed, std::move(message)}; }
  static AccessTokenError cancelled() { return {Kind::cancelled, {}}; }
  bool isCancelled() const { return kind == Kind::cancelled; }

  friend bool operator==(const AccessTokenError&, const AccessTokenError&) = default;
};

using AccessTokenResult = platform::Expected<std::string, AccessTokenError>;

// The source of bearer tokens for the service clients; the authentication store is the only live
// implementation.
//
// IMPORTANT: Thread-safety. Both calls are meant for worker threads. They block the calling thread
// while the answer is worked out on the main thread (which may take a token renewal over the
// network), and return early with a cancelled error once `stop` is stopped. Many threads may call at
// once; concurrent callers that find the token near expiry share one renewal.
//
// Called on the main thread they never block (the main thread would be waiting for itself): they
// answer at once with the current token when it is still good, and otherwise fail without waiting.
// Main-thread code should not need them.
class AccessTokenProviding {
 public:
  virtual ~AccessTokenProviding() = default;

  // A token that may be sent now: the current one while it has more than a minute to live, else a
  // renewed one.
  virtual AccessTokenResult validAccessToken(std::stop_token stop) = 0;

  // The token to repeat a request with after the service refused `rejectedToken` with 401: the
  // current one if another request renewed it meanwhile, else a renewed one.
  virtual AccessTokenResult accessToken(std::string_view rejectedToken, std::stop_token stop) = 0;
};

}  // namespace tavrel
