#pragma once

#include <optional>
#include <string>

namespace tavrel {

// The one error of signing in, renewing and storing the session. It carries the text the user sees
// and nothing else; OAuth codes and descriptions from the server are kept for diagnosis only and
// never shown.
class AuthenticationError {
 public:
  enum class Kind {
    oauth,
    invalidConfiguration,
    secureRandomUnavailable,
    authorizationCancelled,
    authorizationInProgress,
    invalidCallback,
    stateMismatch,
    issuerMismatch,
    invalidGrant,
    insufficientScope,
    unauthorized,
    unexpectedResponse,
    transportUnavailable,
    keychainUnavailable,
  };

  AuthenticationError(Kind kind) : kind_(kind) {}  // NOLINT(implicit): lets `Kind::x` stand for the error

  static AuthenticationError oauth(std::string code, std::optional<std::string> description) {
    AuthenticationError error(Kind::oauth);
    error.code_ = std::move(code);
    error.description_ = std::move(description);
    return error;
  }

  Kind kind() const { return kind_; }
  // Only for `oauth`: the server's error code and its description, if any.
  const std::string& code() const { return code_; }
  const std::optional<std::string>& description() const { return description_; }

  // The user-facing text.
  std::string errorDescription() const;
  // The text of a sign-in that did not complete, when no more specific text applies.
  static std::string signInFailureDescription();

  // Whether the failure means the stored session is no longer good and the user must sign in again.
  bool isSessionExpired() const {
    return kind_ == Kind::invalidGrant || kind_ == Kind::insufficientScope || kind_ == Kind::unauthorized;
  }

  friend bool operator==(const AuthenticationError&, const AuthenticationError&) = default;

 private:
  Kind kind_;
  std::string code_;
  std::optional<std::string> description_;
};

// A short name of the kind, for logs and test output.
const char* toString(AuthenticationError::Kind kind);

}  // namespace tavrel
