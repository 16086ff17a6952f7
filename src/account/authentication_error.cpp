#include "account/authentication_error.h"

#include "platform/translatable_text.h"

namespace tavrel {

std::string AuthenticationError::errorDescription() const {
  switch (kind_) {
    case Kind::invalidGrant:
    case Kind::insufficientScope:
    case Kind::unauthorized:
      return TAVREL_TRANSLATE_NOOP("Core", "Your session has expired. Please sign in again.");
    case Kind::authorizationCancelled:
      return TAVREL_TRANSLATE_NOOP("Core", "Sign in was cancelled.");
    case Kind::transportUnavailable:
      return TAVREL_TRANSLATE_NOOP("Core",
                                   "Tavrel is temporarily unavailable. Check your connection and retry.");
    case Kind::keychainUnavailable:
      return TAVREL_TRANSLATE_NOOP("Core",
                                   "Tavrel couldn’t reach your Keychain. Sign in again to reconnect.");
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

std::string AuthenticationError::signInFailureDescription() {
  return TAVREL_TRANSLATE_NOOP("Core", "Tavrel couldn’t complete sign in.");
}

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
