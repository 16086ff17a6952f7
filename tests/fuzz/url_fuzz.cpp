// Addresses from outside: the storage addresses the service signs, the web application's address in
// the configuration, the bootstrap's image. What parses prints as text that parses to the same
// address.

#include "fuzz_target.h"
#include "platform/url.h"
#include "records/api_url.h"

using namespace tavrel::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  const auto url = Url::parse(text);
  if (!url) return 0;
  const auto printed = url->toString();
  const auto reparsed = Url::parse(printed);
  FUZZ_CHECK(reparsed.has_value());
  FUZZ_CHECK(*reparsed == *url);
  (void)url->origin();
  (void)url->queryItems();
  // The clients' endpoint addresses are built on it with segments of their own.
  if (const auto endpoint = tavrel::apiURL(*url, {"api", "v1", "transfers", std::string(text.substr(0, 16))})) {
    FUZZ_CHECK(Url::parse(endpoint->toString()).has_value());
  }
  return 0;
}
