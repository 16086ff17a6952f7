#include "platform/translatable_text.h"

#include <vector>

namespace tavrel::platform {

std::string fillText(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  const std::vector<std::string_view> values(arguments);
  std::string text;
  text.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (index < values.size()) {
        // Single pass: a value that itself holds "%2" is never expanded again.
        text += values[index];
        ++i;
        continue;
      }
    }
    text += pattern[i];
  }
  return text;
}

}  // namespace tavrel::platform
