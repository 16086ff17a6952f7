// The account's answers: the bootstrap document and the token endpoint's answer.

#include <cmath>

#include "fuzz_target.h"
#include "platform/json.h"
#include "records/account_models.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  (void)platform::tryDecodeJson<AppBootstrap>(text);
  if (const auto token = platform::tryDecodeJson<OAuthTokenResponse>(text)) {
    // The store turns the lifetime into an expiry instant: it must be a number it can bound.
    FUZZ_CHECK(std::isfinite(token->expiresIn));
  }
  return 0;
}
