#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "records/account_models.h"

using namespace tavrel;
using nlohmann::json;
using platform::decodeJson;
using platform::JsonDecodingError;
namespace state = authentication_state;

namespace {

const json bootstrapJson = json::parse(R"({
  "user": {"id": "u1", "name": "Ada", "email": "ada@example.com", "image": "https://cdn.example.com/a.png"},
  "workspace": {"id": "w1", "name": "Studio", "role": "owner", "kind": "team", "slug": "studio"},
  "plan": {"codename": "pro", "isFreeTier": false, "canUpgradePlan": true},
  "permissions": {"canInitiateTransfer": true, "canDelete": true},
  "features": [{"codename": "max_size", "limitValue": "250GB"}, {"codename": "branding"}],
  "transferSettings": {
    "defaults": {"region": "eu", "expiryDays": 7, "oneTimeDownload": false, "isReviewEnabled": true,
                 "reviewAccessType": "password", "filePreviewEnabled": true},
    "feedback": {"successSoundEnabled": true, "failureSoundEnabled": false, "confettiEnabled": true}
  },
  "version": 3
})");

// `base` with the value at `pointer` replaced by `value` (JSON text), or removed when none.
json with(json base, const std::string& pointer, const std::optional<std::string>& value) {
  const json::json_pointer path(pointer);
  if (value) base[path] = json::parse(*value);
  else base[path.parent_pointer()].erase(path.back());
  return base;
}

bool decodesBootstrap(const json& document) {
  try {
    (void)decodeJson<AppBootstrap>(document.dump());
    return true;
  } catch (const JsonDecodingError&) {
    return false;
  }
}

AuthenticatedAccount account(bool mayTransfer) {
  auto bootstrap = decodeJson<AppBootstrap>(bootstrapJson.dump());
  bootstrap.permissions.canInitiateTransfer = mayTransfer;
  return {"access", std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000)), bootstrap};
}

}  // namespace

TEST(AppBootstrapTest, DecodesEveryFieldIgnoringUnknownKeys) {
  const auto bootstrap = decodeJson<AppBootstrap>(bootstrapJson.dump());
  EXPECT_EQ(bootstrap.user.name, "Ada");
  EXPECT_EQ(bootstrap.user.image, platform::Url::parse("https://cdn.example.com/a.png"));
  EXPECT_EQ(bootstrap.workspace, (AppBootstrap::Workspace{"w1", "Studio", "owner", "team"}));
  EXPECT_EQ(bootstrap.plan, (AppBootstrap::Plan{"pro", false, true}));
  EXPECT_TRUE(bootstrap.permissions.canInitiateTransfer);
  EXPECT_EQ(bootstrap.features,
            (std::vector<AppBootstrap::Feature>{{"max_size", "250GB"}, {"branding", std::nullopt}}));
  EXPECT_EQ(bootstrap.transferSettings.defaults,
            (AppBootstrap::TransferSettings::Defaults{"eu", 7, false, true, "password", true}));
  EXPECT_EQ(bootstrap.transferSettings.feedback, (AppBootstrap::TransferSettings::Feedback{true, false, true}));
}

TEST(AppBootstrapTest, OptionalFieldsMayBeMissingOrNull) {
  json document = with(bootstrapJson, "/user/name", std::nullopt);
  document = with(document, "/user/image", "null");
  document = with(document, "/features", "[]");
  document = with(document, "/transferSettings/defaults/reviewAccessType", std::nullopt);
  const auto bootstrap = decodeJson<AppBootstrap>(document.dump());
  EXPECT_EQ(bootstrap.user.name, std::nullopt);
  EXPECT_EQ(bootstrap.user.image, std::nullopt);
  EXPECT_TRUE(bootstrap.features.empty());
  EXPECT_EQ(bootstrap.transferSettings.defaults.reviewAccessType, std::nullopt);
  EXPECT_EQ(decodeJson<AppBootstrap>(with(bootstrapJson, "/features/0/limitValue", "null").dump()).features[0].limitValue,
            std::nullopt);
}

// Each case breaks one field; the whole bootstrap is refused.
TEST(AppBootstrapTest, RefusesAnyMissingOrMistypedRequiredField) {
  struct Case {
    const char* pointer;
    std::optional<std::string> value;
  };
  const std::vector<Case> cases = {
      {"/features", std::nullopt},
      {"/features", "null"},
      {"/features/0/limitValue", "250"},  // a limit is text
      {"/features/1/codename", std::nullopt},
      {"/user/image", R"("not a url")"},
      {"/user/image", "42"},
      {"/user/email", "null"},
      {"/user/id", "7"},
      {"/workspace/kind", std::nullopt},
      {"/plan/isFreeTier", "0"},
      {"/plan/canUpgradePlan", R"("true")"},
      {"/permissions/canInitiateTransfer", std::nullopt},
      {"/permissions", "true"},
      {"/transferSettings/defaults/expiryDays", "7.0"},
      {"/transferSettings/defaults/expiryDays", "true"},
      {"/transferSettings/defaults/region", std::nullopt},
      {"/transferSettings/defaults/reviewAccessType", "1"},
      {"/transferSettings/feedback/confettiEnabled", "null"},
      {"/transferSettings/feedback", std::nullopt},
      {"/transferSettings", std::nullopt},
      {"/user", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(decodesBootstrap(with(bootstrapJson, c.pointer, c.value))) << c.pointer;
  }
}

TEST(OAuthTokenResponseTest, SnakeCaseKeysAndWholeOrFractionalLifetime) {
  EXPECT_EQ(decodeJson<OAuthTokenResponse>(
                R"({"access_token":"A","token_type":"Bearer","expires_in":3600,"refresh_token":"R","scope":"a b"})"),
            (OAuthTokenResponse{"A", "Bearer", 3600, "R", "a b"}));
  const auto fractional =
      decodeJson<OAuthTokenResponse>(R"({"access_token":"A","token_type":"Bearer","expires_in":3599.5,"scope":""})");
  EXPECT_EQ(fractional.expiresIn, 3599.5);
  EXPECT_EQ(fractional.refreshToken, std::nullopt);

  for (const char* body : {
           R"({"access_token":"A","token_type":"Bearer","expires_in":3600})",                        // no scope
           R"({"accessToken":"A","token_type":"Bearer","expires_in":3600,"scope":""})",              // camel case
           R"({"access_token":"A","token_type":"Bearer","expires_in":"3600","scope":""})",
           R"({"access_token":"A","token_type":"Bearer","expires_in":true,"scope":""})",
           R"({"access_token":"A","token_type":null,"expires_in":3600,"scope":""})",
           R"({"access_token":"A","token_type":"Bearer","expires_in":3600,"scope":"","refresh_token":5})",
       }) {
    EXPECT_THROW(decodeJson<OAuthTokenResponse>(body), JsonDecodingError) << body;
  }
}

TEST(AuthenticationStateTest, EqualityComparesCaseAndWholePayload) {
  const AuthenticationState signedIn = state::Authenticated{account(true)};
  EXPECT_EQ(signedIn, AuthenticationState(state::Authenticated{account(true)}));

  AuthenticatedAccount otherToken = account(true);
  otherToken.accessToken = "other";
  AuthenticatedAccount otherExpiry = account(true);
  otherExpiry.expiresAt += std::chrono::seconds(1);
  AuthenticatedAccount otherWorkspace = account(true);
  otherWorkspace.bootstrap.workspace.id = "w2";
  for (const auto& other : {otherToken, otherExpiry, otherWorkspace}) {
    EXPECT_NE(signedIn, AuthenticationState(state::Authenticated{other}));
  }

  EXPECT_EQ(AuthenticationState(state::TemporarilyUnavailable{"Offline"}),
            AuthenticationState(state::TemporarilyUnavailable{"Offline"}));
  EXPECT_NE(AuthenticationState(state::TemporarilyUnavailable{"Offline"}),
            AuthenticationState(state::TemporarilyUnavailable{"Server down"}));
  EXPECT_NE(AuthenticationState(state::SignedOut{}), AuthenticationState(state::Restoring{}));
  EXPECT_EQ(AuthenticationState(state::Authorizing{}).index(), 4u);  // the documented order
}

TEST(AuthenticationStateTest, OnlyAPermittedSignedInAccountMaySend) {
  EXPECT_TRUE(canInitiateTransfer(state::Authenticated{account(true)}));
  EXPECT_FALSE(canInitiateTransfer(state::Authenticated{account(false)}));
  for (const AuthenticationState& other : std::vector<AuthenticationState>{
           state::TemporarilyUnavailable{"x"}, state::Restoring{}, state::SignedOut{}, state::Authorizing{}}) {
    EXPECT_FALSE(canInitiateTransfer(other));
    EXPECT_EQ(authenticatedAccount(other), nullptr);
  }
  const AuthenticationState signedIn = state::Authenticated{account(true)};
  ASSERT_NE(authenticatedAccount(signedIn), nullptr);
  EXPECT_EQ(authenticatedAccount(signedIn)->accessToken, "access");
}
