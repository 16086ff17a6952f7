#include "platform/expected.h"

#include <string>
#include <string_view>

using namespace tavrel::platform;

// A bool is constructible from any Expected (its explicit operator bool): one Expected must never
// become another's value, or a failure would turn into `false` and its error vanish.
static_assert(!std::is_constructible_v<Expected<bool, std::string>, Expected<int, std::string>>);
static_assert(!std::is_constructible_v<Expected<bool, std::string>, const Expected<int, std::string>&>);
static_assert(!std::is_constructible_v<Expected<bool, int>, Expected<Unit, int>&>);
// What the value is made of still converts, explicitly where the value's own constructor is explicit.
static_assert(std::is_convertible_v<const char*, Expected<std::string, int>>);
static_assert(std::is_constructible_v<Expected<std::string, int>, std::string_view>);
static_assert(!std::is_convertible_v<std::string_view, Expected<std::string, int>>);
