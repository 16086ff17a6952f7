#pragma once

// Who is signed in: the published sign-in state, the signed-in account, the bootstrap document the
// service returns for it, and the OAuth token endpoint's answer.
//
// Plain values with value equality (dates compare as instants). OAuthTokenResponse and AppBootstrap
// decode strictly with fromJson() (platform/json.h): a missing required key, a null in one or a
// value of the wrong type throws platform::JsonDecodingError and nothing is decoded; unknown keys
// are ignored. Error texts name the failing key, never a value, so tokens stay out of logs.
//
//   auto token = platform::decodeJson<OAuthTokenResponse>(body);
//   auto bootstrap = platform::decodeJson<AppBootstrap>(body);

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/json.h"
#include "platform/url.h"

namespace tavrel {

// The body of GET api/v1/bootstrap, unwrapped. All keys are the field names.
struct AppBootstrap {
  struct User {
    std::string id;
    std::optional<std::string> name;
    std::string email;
    std::optional<platform::Url> image;  // must parse as a URL when present

    // The name to greet and list the account by: the name, or the e-mail address when the name
    // is absent or blank.
    std::string displayName() const;
    // Whether the user has a name worth showing beside the e-mail address.
    bool hasName() const;

    friend bool operator==(const User&, const User&) = default;
  };
  struct Workspace {
    std::string id;  // a change while signed in resets the recent-transfers list
    std::string name;
    std::string role;
    std::string kind;
    friend bool operator==(const Workspace&, const Workspace&) = default;
  };
  struct Plan {
    std::string codename;
    bool isFreeTier = false;
    bool canUpgradePlan = false;
    friend bool operator==(const Plan&, const Plan&) = default;
  };
  struct Permissions {
    bool canInitiateTransfer = false;  // false: transfers are listed but none may start
    friend bool operator==(const Permissions&, const Permissions&) = default;
  };
  struct Feature {
    std::string codename;
    std::optional<std::string> limitValue;  // a string; a JSON number is refused
    friend bool operator==(const Feature&, const Feature&) = default;
  };
  struct TransferSettings {
    // The settings a new transfer is created with.
    struct Defaults {
      std::string region;
      std::int64_t expiryDays = 0;
      bool oneTimeDownload = false;
      bool isReviewEnabled = false;
      std::optional<std::string> reviewAccessType;
      bool filePreviewEnabled = false;
      friend bool operator==(const Defaults&, const Defaults&) = default;
    };
    struct Feedback {
      bool successSoundEnabled = false;
      bool failureSoundEnabled = false;
      bool confettiEnabled = false;
      friend bool operator==(const Feedback&, const Feedback&) = default;
    };
    Defaults defaults;
    Feedback feedback;
    friend bool operator==(const TransferSettings&, const TransferSettings&) = default;
  };

  User user;
  Workspace workspace;
  Plan plan;
  Permissions permissions;
  std::vector<Feature> features;
  TransferSettings transferSettings;

  static AppBootstrap fromJson(const platform::JsonValue& json);
  friend bool operator==(const AppBootstrap&, const AppBootstrap&) = default;
};

// The token endpoint's answer to a code exchange or a refresh. Snake-case keys.
struct OAuthTokenResponse {
  std::string accessToken;                  // "access_token"
  std::string tokenType;                    // "token_type"
  double expiresIn = 0;                     // "expires_in": seconds, whole or fractional
  std::optional<std::string> refreshToken;  // "refresh_token"
  std::string scope;                        // "scope": space-separated

  static OAuthTokenResponse fromJson(const platform::JsonValue& json);
  friend bool operator==(const OAuthTokenResponse&, const OAuthTokenResponse&) = default;
};

// A signed-in account. Built by the authentication store only; never encoded or stored.
struct AuthenticatedAccount {
  std::string accessToken;
  std::chrono::system_clock::time_point expiresAt;  // when the access token stops working
  AppBootstrap bootstrap;

  friend bool operator==(const AuthenticatedAccount&, const AuthenticatedAccount&) = default;
};

namespace authentication_state {
struct Authenticated {
  AuthenticatedAccount account;
  friend bool operator==(const Authenticated&, const Authenticated&) = default;
};
// Restoring or renewing failed for a reason other than an expired session; message is the
// error's user-facing text.
struct TemporarilyUnavailable {
  std::string message;
  friend bool operator==(const TemporarilyUnavailable&, const TemporarilyUnavailable&) = default;
};
// The initial state, while the stored session is restored.
struct Restoring {
  friend bool operator==(const Restoring&, const Restoring&) = default;
};
struct SignedOut {
  friend bool operator==(const SignedOut&, const SignedOut&) = default;
};
// A browser sign-in is under way.
struct Authorizing {
  friend bool operator==(const Authorizing&, const Authorizing&) = default;
};
}  // namespace authentication_state

// The published sign-in state. The order of the cases is fixed.
using AuthenticationState =
    std::variant<authentication_state::Authenticated, authentication_state::TemporarilyUnavailable,
                 authentication_state::Restoring, authentication_state::SignedOut, authentication_state::Authorizing>;

// The signed-in account, if any.
const AuthenticatedAccount* authenticatedAccount(const AuthenticationState& state);

// Whether the program may start or feed a transfer: only when signed in with a bootstrap that
// permits it.
bool canInitiateTransfer(const AuthenticationState& state);

}  // namespace tavrel
