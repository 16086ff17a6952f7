// The address a browser (or any local process) hands back at the end of a sign-in: checked against
// the waiting attempt's state and the service's issuer. Only a full match yields a code; the issuer's
// normal form is stable.

#include "account/oauth_callback_validator.h"
#include "fuzz_target.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  static const OAuthCallbackValidator validator{OAuthConfiguration{*platform::Url::parse("https://app.example.com")},
                                                "expected-state"};
  if (const auto code = validator.validate(text)) FUZZ_CHECK(!code->empty());
  if (const auto issuer = OAuthConfiguration::normalizedIssuer(text)) {
    FUZZ_CHECK(OAuthConfiguration::normalizedIssuer(*issuer) == issuer);
  }
  return 0;
}
