#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "account/authentication_error.h"
#include "platform/expected.h"

namespace tavrel {

// Where the refresh token lives between runs: the only credential the program keeps.
//
// Calls block (the live store talks to the desktop's secret store over D-Bus): call them on worker
// threads. Every failure is keychainUnavailable.
class RefreshTokenStoring {
 public:
  virtual ~RefreshTokenStoring() = default;

  // The stored token, or none when there is none.
  virtual platform::Expected<std::optional<std::string>, AuthenticationError> read() = 0;
  // Replaces the stored token.
  virtual platform::Expected<platform::Unit, AuthenticationError> save(std::string_view token) = 0;
  // Deleting a missing token is not an error.
  virtual platform::Expected<platform::Unit, AuthenticationError> deleteToken() = 0;
};

}  // namespace tavrel
