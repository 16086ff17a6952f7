#include "platform/retry_after.h"

#include <gtest/gtest.h>

namespace tavrel::platform {
namespace {

using namespace std::chrono_literals;

TEST(RetryAfterTest, SecondsAndDatesInEachFormTheProtocolAllows) {
  // Wed, 21 Oct 2026 07:28:00 GMT
  const auto now = std::chrono::system_clock::from_time_t(1792567680);
  EXPECT_EQ(parseRetryAfter("120", now), 120s);
  EXPECT_EQ(parseRetryAfter(" 0 ", now), 0s);
  EXPECT_EQ(parseRetryAfter("Wed, 21 Oct 2026 07:29:30 GMT", now), 90s);
  EXPECT_EQ(parseRetryAfter("Wednesday, 21-Oct-26 07:29:30 GMT", now), 90s);
  EXPECT_EQ(parseRetryAfter("Wed Oct 21 07:29:30 2026", now), 90s);
  // A date gone by asks for no wait at all; a number beyond 64 bits is simply very long.
  EXPECT_EQ(parseRetryAfter("Wed, 21 Oct 2026 07:00:00 GMT", now), 0s);
  EXPECT_GT(parseRetryAfter("99999999999999999999999", now).value(), 1'000'000h);
  for (const char* bad : {"", "soon", "-5", "1.5", "12 s", "Wed, 21 Oct 2026 07:29:30", "0x10"}) {
    EXPECT_EQ(parseRetryAfter(bad, now), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace tavrel::platform
