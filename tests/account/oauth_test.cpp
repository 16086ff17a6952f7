#include <gtest/gtest.h>

#include "account/authentication_error.h"
#include "account/oauth_callback_validator.h"
#include "account/oauth_configuration.h"
#include "account/pkce_authorization_request.h"

namespace tavrel {
namespace {

using Kind = AuthenticationError::Kind;
using platform::Url;

OAuthConfiguration configuration(std::string_view address = "https://app.tavrel.test") {
  return OAuthConfiguration{*Url::parse(address)};
}

TEST(PKCEAuthorizationRequestTest, MatchesTheRFC7636Example) {
  EXPECT_EQ(PKCEAuthorizationRequest::challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(PKCEAuthorizationRequestTest, MakesFreshBase64URLValuesOfTheRightLengths) {
  const auto first = PKCEAuthorizationRequest::make();
  const auto second = PKCEAuthorizationRequest::make();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->state.size(), 43u);
  EXPECT_EQ(first->codeVerifier.size(), 86u);
  EXPECT_EQ(first->codeChallenge.size(), 43u);
  for (const auto* text : {&first->state, &first->codeVerifier, &first->codeChallenge}) {
    EXPECT_EQ(text->find_first_of("+/="), std::string::npos) << *text;
  }
  EXPECT_EQ(first->codeChallenge, PKCEAuthorizationRequest::challenge(first->codeVerifier));
  EXPECT_NE(first->state, second->state);
  EXPECT_NE(first->codeVerifier, second->codeVerifier);
}

TEST(OAuthConfigurationTest, DerivesEndpointsUnderTheAddressesOwnPath) {
  const auto root = configuration("https://app.tavrel.test/");
  EXPECT_EQ(root.tokenEndpoint().toString(), "https://app.tavrel.test/api/auth/oauth2/token");
  EXPECT_EQ(root.revocationEndpoint().toString(), "https://app.tavrel.test/api/auth/oauth2/revoke");
  EXPECT_EQ(root.resource(), "https://app.tavrel.test/api");
  EXPECT_EQ(root.issuer(), "https://app.tavrel.test/api/auth");
  EXPECT_EQ(root.bootstrapEndpoint().toString(), "https://app.tavrel.test/api/v1/bootstrap");

  const auto nested = configuration("https://example.test:8443/tavrel");
  EXPECT_EQ(nested.tokenEndpoint().toString(), "https://example.test:8443/tavrel/api/auth/oauth2/token");
  EXPECT_EQ(OAuthConfiguration::redirectURI().toString(), "com.tavrel.macos:/oauth/callback");
}

TEST(OAuthConfigurationTest, AuthorizationURLCarriesExactlyTheEightItemsInOrder) {
  const auto url = configuration().authorizationURL("the-state", "the-challenge");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->toString(),
            "https://app.tavrel.test/api/auth/oauth2/authorize?response_type=code&client_id=tavrel-macos"
            "&redirect_uri=com.tavrel.macos:/oauth/callback"
            "&scope=openid%20offline_access%20account:read%20transfers:create%20transfers:read"
            "&resource=https://app.tavrel.test/api&state=the-state&code_challenge=the-challenge"
            "&code_challenge_method=S256");
}

TEST(OAuthConfigurationTest, NormalizesIssuers) {
  const auto expected = OAuthConfiguration::normalizedIssuer("https://app.tavrel.test/api/auth");
  ASSERT_TRUE(expected);
  for (const char* same : {"HTTPS://APP.Tavrel.TEST/api/auth", "https://app.tavrel.test/api/auth///",
                           "https://app.tavrel.test/api/auth?x=1#top"}) {
    EXPECT_EQ(OAuthConfiguration::normalizedIssuer(same), expected) << same;
  }
  for (const char* other : {"https://app.tavrel.test/api/Auth", "https://app.tavrel.test:8443/api/auth",
                            "https://app.tavrel.test/api"}) {
    EXPECT_NE(OAuthConfiguration::normalizedIssuer(other), expected) << other;
  }
  EXPECT_EQ(OAuthConfiguration::normalizedIssuer("not a url"), std::nullopt);
  EXPECT_EQ(OAuthConfiguration::normalizedIssuer("urn:no-host"), std::nullopt);
}

class OAuthCallbackValidatorTest : public ::testing::Test {
 protected:
  platform::Expected<std::string, AuthenticationError> validate(const std::string& query,
                                                                 const std::string& prefix = "com.tavrel.macos:/oauth/callback") {
    return validator.validate(prefix + "?" + query);
  }
  static Kind kindOf(const platform::Expected<std::string, AuthenticationError>& result) {
    EXPECT_FALSE(result.hasValue());
    return result.hasValue() ? Kind::oauth : result.error().kind();
  }

  const std::string issuer = "iss=https%3A%2F%2Fapp.tavrel.test%2Fapi%2Fauth";
  OAuthCallbackValidator validator{configuration(), "expected-state"};
};

TEST_F(OAuthCallbackValidatorTest, ReturnsTheCodeOfAGoodCallback) {
  const auto code = validate("code=the-code&state=expected-state&" + issuer);
  ASSERT_TRUE(code);
  EXPECT_EQ(*code, "the-code");
  EXPECT_TRUE(validate("state=expected-state&iss=https://APP.tavrel.test/api/auth/&code=c"));
}

TEST_F(OAuthCallbackValidatorTest, RefusesOtherAddresses) {
  const std::string good = "code=c&state=expected-state&" + issuer;
  EXPECT_EQ(kindOf(validate(good, "com.tavrel.macos:/oauth/callback/")), Kind::invalidCallback);
  EXPECT_EQ(kindOf(validate(good, "com.tavrel.macos://oauth/callback")), Kind::invalidCallback);
  EXPECT_EQ(kindOf(validate(good, "com.tavrel.other:/oauth/callback")), Kind::invalidCallback);
  EXPECT_EQ(kindOf(validate(good, "COM.TAVREL.MACOS:/oauth/callback")), Kind::invalidCallback);
  EXPECT_EQ(kindOf(validate(good, "com.tavrel.macos:/oauth/other")), Kind::invalidCallback);
  EXPECT_EQ(kindOf(validator.validate("com.tavrel.macos:/oauth/callback?code=a b")), Kind::invalidCallback);
}

TEST_F(OAuthCallbackValidatorTest, ChecksStateThenErrorThenIssuerThenCode) {
  EXPECT_EQ(kindOf(validate("code=c&" + issuer)), Kind::stateMismatch);
  EXPECT_EQ(kindOf(validate("code=c&state=forged&" + issuer)), Kind::stateMismatch);
  // A forged answer's error is not believed.
  EXPECT_EQ(kindOf(validate("state=forged&error=access_denied")), Kind::stateMismatch);

  const auto denied = validate("state=expected-state&error=access_denied&error_description=No%20thanks");
  ASSERT_FALSE(denied);
  EXPECT_EQ(denied.error(), AuthenticationError::oauth("access_denied", "No thanks"));
  EXPECT_EQ(denied.error().errorDescription(), "Tavrel couldn\u2019t complete sign in.");
  const auto bare = validate("state=expected-state&error=server_error&code=c&" + issuer);
  ASSERT_FALSE(bare);
  EXPECT_EQ(bare.error(), AuthenticationError::oauth("server_error", std::nullopt));
  const auto emptyDescription = validate("state=expected-state&error=x&error_description=");
  ASSERT_FALSE(emptyDescription);
  EXPECT_EQ(emptyDescription.error().description(), std::optional<std::string>(""));

  // An empty error is ignored.
  EXPECT_TRUE(validate("state=expected-state&error=&code=c&" + issuer));
  EXPECT_EQ(kindOf(validate("state=expected-state&code=c")), Kind::issuerMismatch);
  EXPECT_EQ(kindOf(validate("state=expected-state&code=c&iss=https://evil.test/api/auth")), Kind::issuerMismatch);
  EXPECT_EQ(kindOf(validate("state=expected-state&code=&" + issuer)), Kind::invalidCallback);
  EXPECT_EQ(kindOf(validate("state=expected-state&" + issuer)), Kind::invalidCallback);
}

TEST_F(OAuthCallbackValidatorTest, RefusesRepeatedParametersEvenWhenTheyAgree) {
  EXPECT_EQ(kindOf(validate("code=c&code=c&state=expected-state&" + issuer)), Kind::invalidCallback);
  // Repetition is refused before the state is looked at.
  EXPECT_EQ(kindOf(validate("state=x&state=x&" + issuer)), Kind::invalidCallback);
}

TEST(AuthenticationErrorTest, TextsAndSessionExpiry) {
  EXPECT_EQ(AuthenticationError(Kind::invalidGrant).errorDescription(), "Your session has expired. Please sign in again.");
  EXPECT_EQ(AuthenticationError(Kind::authorizationCancelled).errorDescription(), "Sign in was cancelled.");
  EXPECT_EQ(AuthenticationError(Kind::transportUnavailable).errorDescription(),
            "Tavrel is temporarily unavailable. Check your connection and retry.");
  EXPECT_EQ(AuthenticationError(Kind::keychainUnavailable).errorDescription(),
            "Tavrel couldn\u2019t reach your Keychain. Sign in again to reconnect.");
  EXPECT_EQ(AuthenticationError(Kind::stateMismatch).errorDescription(), "Tavrel couldn\u2019t complete sign in.");

  for (auto kind : {Kind::invalidGrant, Kind::insufficientScope, Kind::unauthorized}) {
    EXPECT_TRUE(AuthenticationError(kind).isSessionExpired()) << toString(kind);
  }
  for (auto kind : {Kind::keychainUnavailable, Kind::transportUnavailable, Kind::unexpectedResponse,
                    Kind::authorizationCancelled}) {
    EXPECT_FALSE(AuthenticationError(kind).isSessionExpired()) << toString(kind);
  }
  EXPECT_FALSE(AuthenticationError::oauth("invalid_grant", std::nullopt).isSessionExpired());
}

}  // namespace
}  // namespace tavrel
