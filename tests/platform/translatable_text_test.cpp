#include "platform/translatable_text.h"

#include <gtest/gtest.h>

namespace tavrel::platform {
namespace {

TEST(FillText, ReplacesNumberedPartsOnceAndKeepsOtherPercentSigns) {
  EXPECT_EQ(fillText("“%1” is a symbolic link.", {"a.txt"}), "“a.txt” is a symbolic link.");
  EXPECT_EQ(fillText("%2 of %1", {"3", "1"}), "1 of 3");
  // A part that itself looks like a placeholder is data, never expanded again.
  EXPECT_EQ(fillText("%1 and %2", {"%2", "b"}), "%2 and b");
  EXPECT_EQ(fillText("100% of %3, %", {"a"}), "100% of %3, %");
}

}  // namespace
}  // namespace tavrel::platform
