// The JSON layer every service record is decoded with: parsing, each typed accessor on every value,
// the nesting scan, and compact text that parses back to the same document.

#include <utility>
#include <vector>

#include "fuzz_target.h"
#include "platform/json.h"

using namespace tavrel::platform;

namespace {

// Accessor paths grow with depth; the records never go deeper than a few levels.
constexpr std::size_t kWalkDepth = 64;

template <typename Access>
void tryAccess(Access&& access) {
  try {
    access();
  } catch (const JsonDecodingError&) {
  }
}

// Every accessor on every value down to kWalkDepth, without recursion.
void walk(const nlohmann::json& document) {
  std::vector<std::pair<JsonValue, std::size_t>> pending{{JsonValue(document), 0}};
  while (!pending.empty()) {
    const JsonValue value = std::move(pending.back().first);
    const std::size_t depth = pending.back().second;
    pending.pop_back();
    tryAccess([&] { (void)value.string(); });
    tryAccess([&] { (void)value.int64(); });
    tryAccess([&] { (void)value.number(); });
    tryAccess([&] { (void)value.boolean(); });
    tryAccess([&] { (void)value.date(); });
    tryAccess([&] { (void)value.url(); });
    tryAccess([&] { (void)value.stringMap(); });
    if (depth >= kWalkDepth) continue;
    if (value.raw().is_array()) {
      for (auto& element : value.elements()) pending.emplace_back(std::move(element), depth + 1);
    } else if (value.raw().is_object()) {
      const auto object = value.object();
      for (const auto& member : value.raw().items()) {
        const std::string& key = member.key();
        tryAccess([&] { (void)object.required(key); });
        if (auto present = object.optional(key)) pending.emplace_back(std::move(*present), depth + 1);
      }
    }
  }
}

// The deepest nesting of arrays and objects, without recursion.
std::size_t depthOf(const nlohmann::json& document) {
  std::size_t deepest = 0;
  std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&document, 0}};
  while (!pending.empty()) {
    const auto [value, depth] = pending.back();
    pending.pop_back();
    if (!value->is_structured()) continue;
    deepest = std::max(deepest, depth + 1);
    for (const auto& element : *value) pending.emplace_back(&element, depth + 1);
  }
  return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  nlohmann::json document;
  try {
    document = parseJson(text);
  } catch (const JsonDecodingError& error) {
    FUZZ_CHECK(error.path() == "$");
    return 0;
  }
  const std::size_t depth = depthOf(document);
  FUZZ_CHECK(depth <= maximumJsonDepth);
  FUZZ_CHECK(!jsonNestsDeeperThan(text, depth));
  FUZZ_CHECK(depth == 0 || jsonNestsDeeperThan(text, depth - 1));
  walk(document);
  // Printing and comparing recurse once per level: only for documents as shallow as records.
  if (depth <= kWalkDepth) {
    std::string compact;
    try {
      compact = serializeJson(document);
    } catch (const JsonEncodingError&) {
      FUZZ_CHECK(false);  // the parser admits valid UTF-8 only, so everything it read can be written
    }
    FUZZ_CHECK(parseJson(compact) == document);
  }
  return 0;
}
