// Base64 in the hand-off files (bookmarks) and base64url in the OAuth values: whatever decodes encodes
// to text that decodes to the same bytes, and every byte string survives the trip in both alphabets.

#include <vector>

#include "fuzz_target.h"
#include "platform/base64.h"

using namespace tavrel::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  if (const auto bytes = base64Decode(text)) FUZZ_CHECK(base64Decode(base64Encode(*bytes)) == bytes);
  if (const auto bytes = base64UrlDecode(text)) FUZZ_CHECK(base64UrlDecode(base64UrlEncode(*bytes)) == bytes);
  const std::vector<std::uint8_t> original(data, data + size);
  FUZZ_CHECK(base64Decode(base64Encode(text)) == original);
  FUZZ_CHECK(base64UrlDecode(base64UrlEncode(text)) == original);
  return 0;
}
