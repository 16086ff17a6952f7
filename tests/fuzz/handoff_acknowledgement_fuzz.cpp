// The program's answer to a hand-off, as the share program reads it back from the pending folder.

#include "fuzz_target.h"
#include "platform/json.h"
#include "sharehandoff/share_handoff_records.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  const auto acknowledgement = platform::tryDecodeJson<ShareHandoffAcknowledgement>(text);
  if (!acknowledgement) return 0;
  const auto decoded =
      platform::tryDecodeJson<ShareHandoffAcknowledgement>(encodeShareHandoffJson(acknowledgement->toJson()));
  FUZZ_CHECK(decoded.hasValue());
  FUZZ_CHECK(*decoded == *acknowledgement);
  return 0;
}
