#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <limits>
#include <vector>

#include "support/temporary_directory.h"
#include "transfer/formatting.h"

using namespace tavrel;

TEST(FormattingTest, CompactCountAroundEveryUnitChange) {
  struct Case {
    std::int64_t count;
    const char* text;
  };
  const std::vector<Case> cases = {
      {std::numeric_limits<std::int64_t>::min(), "0"},
      {-5, "0"},
      {0, "0"},
      {999, "999"},
      {1'000, "1K"},
      {1'049, "1K"},
      {1'050, "1.1K"},  // half rounds away from zero
      {1'150, "1.2K"},  // exactly half, not subject to binary fractions
      {1'540, "1.5K"},
      {1'550, "1.6K"},
      {10'000, "10K"},
      {999'949, "999.9K"},
      {999'950, "1M"},  // rounding to 1000K moves up a unit
      {1'000'000, "1M"},
      {12'345'678, "12.3M"},
      {999'949'999, "999.9M"},
      {999'950'000, "1B"},
      {2'000'000'000, "2B"},
      {999'950'000'000, "1T"},
      {1'000'000'000'000, "1T"},
      {5'000'000'000'000'000, "5000T"},  // no unit above T
      {std::numeric_limits<std::int64_t>::max(), "9223372T"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatCompactCount(c.count, true), c.text) << c.count;
    std::string bare = c.text;
    while (!bare.empty() && std::isalpha(static_cast<unsigned char>(bare.back()))) bare.pop_back();
    EXPECT_EQ(formatCompactCount(c.count, false), bare) << c.count;
  }
}

TEST(FormattingTest, ByteProgressFloorsDoneAndRoundsTotalInTheTotalsUnit) {
  struct Case {
    std::int64_t done;
    std::int64_t total;
    const char* text;
  };
  const std::vector<Case> cases = {
      {0, 0, "0/0 B"},
      {-7, 0, "0/0 B"},
      {5, -3, "0/0 B"},
      {-1, 1, "0/1 B"},
      {1, 1, "1/1 B"},
      {512, 900, "512/900 B"},
      {999, 999, "999/999 B"},
      {999, 1'000, "0.9/1 KB"},
      {1'250'000, 3'000'000, "1.2/3 MB"},
      {700'000, 1'000'000, "0.7/1 MB"},  // exact tenths never floor one short
      {999'999, 1'000'000, "0.9/1 MB"},
      {5'000, 2'500, "2.5/2.5 KB"},      // done capped at total
      {1'000'000, 1'049'999, "1/1 MB"},
      {1'000'000, 1'050'000, "1/1.1 MB"},
      {999'999'999, 999'999'999, "999.9/1000 MB"},
      {1'500'000'000'000, 2'000'000'000'000, "1.5/2 TB"},
      {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max(), "9223372/9223372 TB"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatByteProgress(c.done, c.total), c.text) << c.done << " of " << c.total;
}

TEST(FormattingTest, ScaledValue) {
  EXPECT_EQ(formatScaledValue(1234, 1.0, true), "1234");
  EXPECT_EQ(formatScaledValue(-1234, 0.5, false), "-1234");
  EXPECT_EQ(formatScaledValue(1'250, 1'000, false), "1.3");
  EXPECT_EQ(formatScaledValue(1'250, 1'000, true), "1.2");
  EXPECT_EQ(formatScaledValue(3, 2.5, false), "1.2");
  EXPECT_EQ(formatScaledValue(-1'250, 1'000, true), "-1.3");
  EXPECT_EQ(formatScaledValue(-1, 1'000, false), "0");
}

TEST(FormattingTest, DurationBothStyles) {
  struct Case {
    double seconds;
    const char* compact;
    const char* longStyle;
  };
  const std::vector<Case> cases = {
      {-3, "0s", "0 sec"},
      {std::numeric_limits<double>::quiet_NaN(), "0s", "0 sec"},
      {0, "0s", "0 sec"},
      {0.2, "1s", "1 sec"},
      {59, "59s", "59 sec"},
      {59.5, "1m", "1 min"},
      {60, "1m", "1 min"},
      {61, "1m 1s", "1m 1s"},
      {3'599, "59m 59s", "59m 59s"},
      {3'599.01, "1h", "1 hr"},
      {3'600, "1h", "1 hr"},
      {3'601, "1h", "1 hr"},  // seconds dropped from one hour on
      {3'660, "1h 1m", "1h 1m"},
      {3'661, "1h 1m", "1h 1m"},
      {7'259, "2h", "2 hr"},
      {360'000, "100h", "100 hr"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatDuration(c.seconds, true), c.compact) << c.seconds;
    EXPECT_EQ(formatDuration(c.seconds, false), c.longStyle) << c.seconds;
  }
  // Out-of-range estimates are capped instead of overflowing the whole-second count.
  EXPECT_EQ(formatDuration(std::numeric_limits<double>::infinity(), true), formatDuration(1e300, true));
}

TEST(FormattingTest, IgnoresTheProcessLocale) {
  // The desktop toolkit adopts the user's locale; a comma-decimal one must not leak into the texts.
  // Build one for the test when the machine has none installed.
  tavrel::testing::TemporaryDirectory locales;
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (locales.path() / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) {
      setenv("LOCPATH", locales.path().c_str(), 1);
      std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
      unsetenv("LOCPATH");
    }
  }
  char probe[8];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  if (std::string(probe) != "1,5") {
    std::setlocale(LC_NUMERIC, saved.c_str());
    GTEST_SKIP() << "no comma-decimal locale available";
  }
  EXPECT_EQ(formatCompactCount(1'540, true), "1.5K");
  EXPECT_EQ(formatByteProgress(1'250'000, 3'000'000), "1.2/3 MB");
  EXPECT_EQ(formatScaledValue(3, 2.5, false), "1.2");
  EXPECT_EQ(formatScaledValue(-1'250, 1'000, true), "-1.3");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(FormattingTest, FileSizesReadAsAFileManagerWritesThem) {
  const std::vector<std::pair<std::int64_t, std::string>> cases = {
      {-5, "Zero KB"},          {0, "Zero KB"},           {1, "1 byte"},          {999, "999 bytes"},
      {1'000, "1 KB"},          {12'499, "12 KB"},        {999'499, "999 KB"},    {999'600, "1 MB"},
      {1'250'000, "1.3 MB"},    {1'000'000, "1 MB"},      {1'234'567'890, "1.23 GB"}, {2'500'000'000, "2.5 GB"},
      {1'000'000'000'000, "1 TB"}};
  for (const auto& [bytes, text] : cases) EXPECT_EQ(formatFileSize(bytes), text) << bytes;
}
