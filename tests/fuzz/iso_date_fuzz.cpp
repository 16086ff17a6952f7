// Dates in the service's records and the hand-off files: whatever parses is an instant the clock
// holds, written back in UTC it reads as the same instant, and the written form is canonical.

#include "fuzz_target.h"
#include "platform/iso_date.h"

using namespace tavrel::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  const auto date = parseIsoDate(text);
  if (!date) return 0;
  const auto written = formatIsoDate(*date);
  FUZZ_CHECK(parseIsoDate(written) == date);
  FUZZ_CHECK(formatIsoDate(*parseIsoDate(written)) == written);
  if (text.size() == 20 && text.back() == 'Z') FUZZ_CHECK(written == text);
  return 0;
}
