#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base64.h"
#include "platform/iso_date.h"

using namespace tavrel::platform;
using std::chrono::seconds;
using std::chrono::system_clock;

namespace {
system_clock::time_point at(std::int64_t epochSeconds) { return system_clock::time_point(seconds(epochSeconds)); }
}  // namespace

TEST(IsoDateTest, ParsesUtcAndOffsets) {
  EXPECT_EQ(parseIsoDate("1970-01-01T00:00:00Z"), at(0));
  EXPECT_EQ(parseIsoDate("2025-01-31T09:30:00Z"), at(1738315800));
  EXPECT_EQ(parseIsoDate("2025-01-31T10:30:00+01:00"), at(1738315800));
  EXPECT_EQ(parseIsoDate("2025-01-31T05:00:00-04:30"), at(1738315800));
  EXPECT_EQ(parseIsoDate("1969-12-31T23:59:59Z"), at(-1));
  EXPECT_EQ(parseIsoDate("2024-02-29T00:00:00Z"), at(1709164800));
}

TEST(IsoDateTest, RefusesAnythingElse) {
  for (const char* text : {
           "2025-01-31T09:30:00.000Z",  // fractional seconds
           "2025-01-31T09:30:00.5+01:00",
           "2025-01-31T09:30:00",       // no zone
           "2025-01-31 09:30:00Z",
           "2025-01-31t09:30:00Z",
           "2025-01-31T09:30Z",
           "2025-1-31T09:30:00Z",
           "2025-01-31T09:30:00+0100",
           "2025-01-31T09:30:00+01",
           "2025-01-31T09:30:00Zjunk",
           "2025-01-31T24:00:00Z",
           "2025-01-31T23:60:00Z",
           "2025-12-31T23:59:60Z",      // leap second
           "2025-02-29T00:00:00Z",      // not a leap year
           "2025-13-01T00:00:00Z",
           "2025-00-10T00:00:00Z",
           "2025-01-00T00:00:00Z",
           "2025-01-31T09:30:00+24:00",
           "9999-12-31T23:59:59Z",      // beyond what the clock holds
           "0001-01-01T00:00:00Z",
           "+025-01-31T09:30:00Z",
           "",
       }) {
    EXPECT_EQ(parseIsoDate(text), std::nullopt) << text;
  }
}

TEST(IsoDateTest, FormatsUtcWholeSecondsAndRoundTrips) {
  EXPECT_EQ(formatIsoDate(at(1738315800)), "2025-01-31T09:30:00Z");
  EXPECT_EQ(formatIsoDate(at(-1)), "1969-12-31T23:59:59Z");
  EXPECT_EQ(formatIsoDate(at(1738315800) + std::chrono::milliseconds(999)), "2025-01-31T09:30:00Z");
  EXPECT_EQ(formatIsoDate(at(-1) + std::chrono::milliseconds(500)), "1969-12-31T23:59:59Z");
  for (const char* text : {"2000-02-29T12:34:56Z", "2099-12-31T23:59:59Z", "1901-01-01T00:00:00Z"}) {
    EXPECT_EQ(formatIsoDate(*parseIsoDate(text)), text);
  }
}

TEST(Base64Test, EncodesBothAlphabets) {
  struct Case {
    std::string bytes;
    const char* standard;
    const char* url;
  };
  const std::vector<Case> cases = {
      {"", "", ""},
      {"f", "Zg==", "Zg"},
      {"fo", "Zm8=", "Zm8"},
      {"foo", "Zm9v", "Zm9v"},
      {"foob", "Zm9vYg==", "Zm9vYg"},
      {std::string("\xFB\xFF\xBF", 3), "+/+/", "-_-_"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base64Encode(c.bytes), c.standard);
    EXPECT_EQ(base64UrlEncode(c.bytes), c.url);
    const std::vector<std::uint8_t> bytes(c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(base64Decode(c.standard), bytes) << c.standard;
    EXPECT_EQ(base64UrlDecode(c.url), bytes) << c.url;
  }
}

TEST(Base64Test, RoundTripsEveryByteValue) {
  std::vector<std::uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  for (std::size_t length = 0; length <= bytes.size(); length += 37) {
    const std::span<const std::uint8_t> prefix(bytes.data(), length);
    const std::vector<std::uint8_t> expected(prefix.begin(), prefix.end());
    EXPECT_EQ(base64Decode(base64Encode(prefix)), expected);
    EXPECT_EQ(base64UrlDecode(base64UrlEncode(prefix)), expected);
  }
}

TEST(Base64Test, RefusesMalformedText) {
  for (const char* text : {"Zg", "Zg=", "Zg===", "Z===", "Zm9v\n", "Zm 9v", "Zm9-", "=Zm9", "Zm=v", "Z"}) {
    EXPECT_EQ(base64Decode(text), std::nullopt) << text;
  }
  for (const char* text : {"Zg==", "Zm9+", "Z", "Zm9v/", "Zm9v="}) {
    EXPECT_EQ(base64UrlDecode(text), std::nullopt) << text;
  }
}
