#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "account/authentication_error.h"
#include "platform/expected.h"
#include "platform/url.h"

namespace tavrel {

// The browser step of signing in: open the authorize address in the user's browser and wait until
// the browser comes back to the program's callback scheme.
//
// Main thread only. The completion runs exactly once, on the main thread and never inside the call
// that started the sign-in, with the callback address (not checked here) or authorizationInProgress,
// authorizationCancelled or transportUnavailable.
class WebAuthenticating {
 public:
  using Completion = std::function<void(platform::Expected<std::string, AuthenticationError>)>;

  virtual ~WebAuthenticating() = default;

  virtual void authenticate(const platform::Url& url, std::string_view callbackScheme, Completion completion) = 0;
  // Ends a running sign-in, whose completion then gets authorizationCancelled; without one, nothing.
  virtual void cancel() = 0;
};

}  // namespace tavrel
