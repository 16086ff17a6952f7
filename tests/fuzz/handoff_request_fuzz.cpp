// A hand-off request file, written by the share program or by anything else that can write to the
// pending folder: decoded and checked as the program reads it, its bookmarks resolved. What passes
// encodes as the container's JSON and decodes to the same request.

#include "fuzz_target.h"
#include "platform/json.h"
#include "sharehandoff/share_handoff_bookmark.h"
#include "sharehandoff/share_handoff_records.h"
#include "sharehandoff/share_handoff_storage.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  const auto request = platform::tryDecodeJson<ShareHandoffRequest>(text);
  if (!request) return 0;
  const auto encoded = encodeShareHandoffJson(request->toJson());
  const auto decoded = platform::tryDecodeJson<ShareHandoffRequest>(encoded);
  FUZZ_CHECK(decoded.hasValue());
  FUZZ_CHECK(*decoded == *request);
  if (!ShareHandoffStorage::validate(*request)) return 0;
  for (const auto& item : request->items) {
    // Names the bytes give are only looked at, never opened: resolving checks what the path is now.
    if (const auto bookmark = ShareHandoffBookmark::decode(item.bookmarkData)) {
      FUZZ_CHECK(bookmark->path.is_absolute());
    }
  }
  return 0;
}
