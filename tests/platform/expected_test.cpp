#include "platform/expected.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>

using namespace tavrel::platform;

namespace {

// A bool is constructible from any Expected (its explicit operator bool): one Expected must never
// become another's value, or a failure would turn into `false` and its error vanish.
static_assert(!std::is_constructible_v<Expected<bool, std::string>, Expected<int, std::string>>);
static_assert(!std::is_constructible_v<Expected<bool, std::string>, const Expected<int, std::string>&>);
static_assert(!std::is_convertible_v<Expected<int, std::string>, Expected<bool, std::string>>);
static_assert(!std::is_constructible_v<Expected<bool, int>, Expected<Unit, int>&>);
// What the value is made of still converts, and explicitly where the value's own constructor is explicit.
static_assert(std::is_convertible_v<const char*, Expected<std::string, int>>);
static_assert(std::is_constructible_v<Expected<bool, int>, bool>);
static_assert(std::is_constructible_v<Expected<std::string, int>, std::string_view>);
static_assert(!std::is_convertible_v<std::string_view, Expected<std::string, int>>);

TEST(ExpectedTest, BuildsAVariantValueFromOneOfItsCases) {
  const Expected<std::variant<int, std::string>, int> value = std::string("text");
  ASSERT_TRUE(value.hasValue());
  EXPECT_EQ(std::get<std::string>(*value), "text");
  const Expected<std::variant<int, std::string>, int> failure = unexpected(7);
  ASSERT_FALSE(failure.hasValue());
  EXPECT_EQ(failure.error(), 7);
}

}  // namespace
