#pragma once

// Strict JSON decoding and encoding for the records we exchange with web services.
//
// Decoding never guesses: a required field must be present, non-null and of its exact type; an
// optional field that is missing or null is absent; an integer must be a JSON integer that fits a
// signed 64-bit value (1.0, true and 2^63 are refused); unknown keys are ignored. Every failure
// throws JsonDecodingError naming the key path, so one bad field fails the whole record.
//
// Encoding writes keys in the order they are set, leaves absent optionals out (never null) and
// serialises compactly.
//
//   struct Session {
//     std::string transferId;
//     std::int64_t expiryDays;
//     std::optional<std::string> note;
//     static Session fromJson(const platform::JsonValue& json) {
//       const auto object = json.object();
//       return {object.string("transferId"), object.int64("expiryDays"), object.optionalString("note")};
//     }
//     nlohmann::ordered_json toJson() const {
//       return platform::JsonObjectWriter()
//           .set("transferId", transferId)
//           .set("expiryDays", expiryDays)
//           .setIfPresent("note", note)
//           .take();
//     }
//   };
//
//   Session session = platform::decodeJson<Session>(body);       // throws JsonDecodingError
//   std::string text = platform::serializeJson(session.toJson()); // {"transferId":…,"expiryDays":…}
//
// A JsonValue or JsonObject refers into the parsed document: it must not outlive it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/expected.h"
#include "platform/url.h"

namespace tavrel::platform {

// A document that is not JSON, or a value that does not fit the record being decoded.
class JsonDecodingError : public std::runtime_error {
 public:
  JsonDecodingError(std::string path, const std::string& problem);
  // Where it went wrong, e.g. "$.plans[2].strategy"; "$" is the whole document.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A value that cannot be written as JSON text (a string that is not valid UTF-8).
class JsonEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The deepest nesting of arrays and objects a parsed document may have. Our records nest a few
// levels; a document built to nest a million (a 2 MiB file of brackets) would take a quarter of a
// second and about 90 MiB to build, only to be refused by its decoder.
inline constexpr std::size_t maximumJsonDepth = 64;

// Parses a whole document; malformed text, invalid UTF-8, trailing content or nesting deeper than
// `maximumDepth` throw JsonDecodingError at "$". The depth is checked before anything is built.
nlohmann::json parseJson(std::string_view text, std::size_t maximumDepth = maximumJsonDepth);

// Whether `text` opens more than `limit` arrays and objects inside one another (brackets inside
// strings do not count). A scan without recursion, for files that are parsed and then copied or
// printed: nlohmann-json parses and destroys without recursion, but copies, compares and prints one
// stack frame per level, so a deep document overflows the stack there.
bool jsonNestsDeeperThan(std::string_view text, std::size_t limit);

class JsonObject;

// One value inside a parsed document, with its key path for error messages.
class JsonValue {
 public:
  explicit JsonValue(const nlohmann::json& json, std::string path = "$")
      : json_(&json), path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  const nlohmann::json& raw() const { return *json_; }
  bool isNull() const { return json_->is_null(); }

  std::string string() const;
  // A JSON integer within the signed 64-bit range; fractions (even 1.0), booleans and larger
  // numbers are refused.
  std::int64_t int64() const;
  // Any JSON number, integer or fraction; booleans are refused.
  double number() const;
  bool boolean() const;
  // A string in ISO 8601 internet date-time form, whole seconds (see platform/iso_date.h).
  std::chrono::system_clock::time_point date() const;
  // A string the URL parser accepts; anything else fails the whole record.
  Url url() const;
  JsonObject object() const;
  std::vector<JsonValue> elements() const;
  // An object whose every value is a string.
  std::map<std::string, std::string> stringMap() const;

  // Decodes every element with `decode` (a callable taking const JsonValue&, or a JsonValue
  // member such as &JsonValue::int64).
  template <typename Decode>
  auto array(Decode&& decode) const {
    using Element = std::decay_t<std::invoke_result_t<Decode&, const JsonValue&>>;
    std::vector<Element> result;
    for (const JsonValue& element : elements()) result.push_back(std::invoke(decode, element));
    return result;
  }

  // Throws JsonDecodingError for this value's path.
  [[noreturn]] void fail(const std::string& problem) const;

 private:
  const nlohmann::json* json_;
  std::string path_;
};

// A JSON object inside a parsed document.
class JsonObject {
 public:
  explicit JsonObject(const JsonValue& value);

  const std::string& path() const { return value_.path(); }

  // Present and not null, else JsonDecodingError.
  JsonValue required(std::string_view key) const;
  // Missing or null gives no value.
  std::optional<JsonValue> optional(std::string_view key) const;

  std::string string(std::string_view key) const { return required(key).string(); }
  std::int64_t int64(std::string_view key) const { return required(key).int64(); }
  double number(std::string_view key) const { return required(key).number(); }
  bool boolean(std::string_view key) const { return required(key).boolean(); }
  std::chrono::system_clock::time_point date(std::string_view key) const { return required(key).date(); }

  std::optional<std::string> optionalString(std::string_view key) const {
    return optional(key, &JsonValue::string);
  }
  std::optional<std::int64_t> optionalInt64(std::string_view key) const {
    return optional(key, &JsonValue::int64);
  }
  std::optional<bool> optionalBoolean(std::string_view key) const { return optional(key, &JsonValue::boolean); }
  std::optional<std::chrono::system_clock::time_point> optionalDate(std::string_view key) const {
    return optional(key, &JsonValue::date);
  }

  // A required array, each element decoded with `decode`.
  template <typename Decode>
  auto array(std::string_view key, Decode&& decode) const {
    return required(key).array(std::forward<Decode>(decode));
  }

  // An optional field decoded with `decode`; missing or null gives no value.
  template <typename Decode>
  auto optional(std::string_view key, Decode&& decode) const
      -> std::optional<std::decay_t<std::invoke_result_t<Decode&, const JsonValue&>>> {
    if (auto value = optional(key)) return std::invoke(decode, *value);
    return std::nullopt;
  }

 private:
  std::string pathOf(std::string_view key) const;

  JsonValue value_;
};

namespace detail {
template <typename T>
inline constexpr bool isOptional = false;
template <typename T>
inline constexpr bool isOptional<std::optional<T>> = true;
}  // namespace detail

// Builds a JSON object whose keys keep the order in which they are set.
class JsonObjectWriter {
 public:
  template <typename T>
  JsonObjectWriter& set(std::string_view key, T&& value) {
    static_assert(!detail::isOptional<std::decay_t<T>>, "use setIfPresent for optional values");
    object_[std::string(key)] = std::forward<T>(value);
    return *this;
  }

  // Leaves the key out when the value is absent; never writes null.
  template <typename T>
  JsonObjectWriter& setIfPresent(std::string_view key, const std::optional<T>& value) {
    if (value) set(key, *value);
    return *this;
  }

  JsonObjectWriter& setDate(std::string_view key, std::chrono::system_clock::time_point date);

  nlohmann::ordered_json take() { return std::move(object_); }

 private:
  nlohmann::ordered_json object_ = nlohmann::ordered_json::object();
};

// Compact text. Throws JsonEncodingError when a string is not valid UTF-8.
std::string serializeJson(const nlohmann::ordered_json& json);
// Appends `text` as a JSON string, quoted and escaped exactly as serializeJson() writes it, for
// bodies written straight to text. Throws JsonEncodingError when it is not valid UTF-8.
void appendJsonString(std::string& out, std::string_view text);
std::string serializeJson(const nlohmann::json& json);  // keys sorted

// Parses a whole document as parseJson() does, except that each element of the array under `key`
// in the top-level object goes to `takeElement` (with its path, as in "$.plans[2]") as soon as it
// has been read, and is then dropped: a list of a hundred thousand records is never held as a tree.
// The document comes back with that array empty. An error thrown by `takeElement` ends the parse.
// The key given twice is refused.
nlohmann::json parseJsonTakingElements(std::string_view text, std::string_view key,
                                       const std::function<void(const JsonValue&)>& takeElement,
                                       std::size_t maximumDepth = maximumJsonDepth);

// Parses `text` and decodes the whole document with T::fromJson(const JsonValue&).
template <typename T>
T decodeJson(std::string_view text) {
  const nlohmann::json document = parseJson(text);
  return T::fromJson(JsonValue(document));
}

// The same, with the failure as a value.
template <typename T>
Expected<T, JsonDecodingError> tryDecodeJson(std::string_view text) {
  try {
    return decodeJson<T>(text);
  } catch (const JsonDecodingError& error) {
    return unexpected(error);
  }
}

// A JSON array of records, each written with its toJson().
template <typename T>
nlohmann::ordered_json jsonArray(const std::vector<T>& records) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const T& record : records) array.push_back(record.toJson());
  return array;
}

}  // namespace tavrel::platform
