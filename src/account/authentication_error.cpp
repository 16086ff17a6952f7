#include "account/authentication_error.h"

namespace tavrel {

std::string AuthenticationError::errorDescription() const {
  switch (kind_) {
    case Kind::invalidGrant:
    case Kind::insufficientScope:
    case Kind::unauthorized:
      return "Your session has expired. Please sign in again.";
    case Kind::authorizationCancelled:
      return "Sign in was cancelled.";
    case Kind::transportUnavailable:
      return "Tavrel is temporarily unavailable. Check your connection and retry.";
    case Kind::keychainUnavailable:
      return "Tavrel couldn\u2019t reach your Keychain. Sign in again to reconnect.";
    case Kind::oauth:
    case Kind::invalidConfiguration:
    case Kind::secureRandomUnavailable:
    case Kind::authorizationInProgress:
    case Kind::invalidCallback:
    case Kind::stateMismatch:
    case Kind::issuerMismatch:
    case Kind::unexpectedResponse:
      break;
  }
  return signInFailureDescription();
}

std::string AuthenticationError::signInFailureDescription() { return "Tavrel couldn\u2019t complete sign in."; }

const char* toString(AuthenticationError::Kind kind) {
  using Kind = AuthenticationError::Kind;
  switch (kind) {
    case Kind::oauth: return "oauth";
    case Kind::invalidConfiguration: return "invalidConfiguration";
    case Kind::secureRandomUnavailable: return "secureRandomUnavailable";
    case Kind::authorizationCancelled: return "authorizationCancelled";
    case Kind::authorizationInProgress: return "authorizationInProgress";
    case Kind::invalidCallback: return "invalidCallback";
    case Kind::stateMismatch: return "stateMismatch";
    case Kind::issuerMismatch: return "issuerMismatch";
    case Kind::invalidGrant: return "invalidGrant";
    case Kind::insufficientScope: return "insufficientScope";
    case Kind::unauthorized: return "unauthorized";
    case Kind::unexpectedResponse: return "unexpectedResponse";
    case Kind::transportUnavailable: return "transportUnavailable";
    case Kind::keychainUnavailable: return "keychainUnavailable";
  }
  return "unknown";
}

}  // namespace tavrel
