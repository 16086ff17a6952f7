// The bytes of a handed-over item's bookmark: what decodes encodes to the same bytes and names an
// absolute path without NUL.

#include <vector>

#include "fuzz_target.h"
#include "sharehandoff/share_handoff_bookmark.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  const auto bookmark = ShareHandoffBookmark::decode(bytes);
  if (!bookmark) return 0;
  FUZZ_CHECK(bookmark->path.is_absolute());
  FUZZ_CHECK(bookmark->path.native().find('\0') == std::string::npos);
  FUZZ_CHECK(bookmark->encoded() == bytes);
  return 0;
}
