#include "platform/json.h"

#include <algorithm>
#include <limits>

#include "platform/iso_date.h"

namespace tavrel::platform {
namespace {

const char* describe(const nlohmann::json& json) {
  switch (json.type()) {
    case nlohmann::json::value_t::null: return "null";
    case nlohmann::json::value_t::object: return "an object";
    case nlohmann::json::value_t::array: return "an array";
    case nlohmann::json::value_t::string: return "a string";
    case nlohmann::json::value_t::boolean: return "a boolean";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned: return "an integer";
    case nlohmann::json::value_t::number_float: return "a fractional number";
    case nlohmann::json::value_t::binary: return "binary data";
    case nlohmann::json::value_t::discarded: return "nothing";
  }
  return "an unknown value";
}

template <typename Json>
std::string serialize(const Json& json) {
  try {
    // Compact; strict UTF-8 so a broken name is refused instead of sent mangled.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::exception& error) {
    throw JsonEncodingError(error.what());
  }
}

nlohmann::json parseChecked(std::string_view text, std::size_t maximumDepth,
                            const nlohmann::json::parser_callback_t& callback);

}  // namespace

JsonDecodingError::JsonDecodingError(std::string path, const std::string& problem)
    : std::runtime_error(path + ": " + problem), path_(std::move(path)) {}

nlohmann::json parseJson(std::string_view text, std::size_t maximumDepth) {
  return parseChecked(text, maximumDepth, nullptr);
}

nlohmann::json parseJsonTakingElements(std::string_view text, std::string_view key,
                                       const std::function<void(const JsonValue&)>& takeElement,
                                       std::size_t maximumDepth) {
  // Depths as the parser counts them: the top-level object is 0, its keys and values 1, the
  // elements of an array under one of its keys 2.
  std::string currentKey;
  bool inArray = false;
  bool seen = false;
  std::size_t index = 0;
  const auto elementPath = [&] { return "$." + std::string(key) + "[" + std::to_string(index) + "]"; };
  nlohmann::json::parser_callback_t callback = [&](int depth, nlohmann::json::parse_event_t event,
                                                   nlohmann::json& parsed) {
    using Event = nlohmann::json::parse_event_t;
    if (depth == 1 && event == Event::key) {
      currentKey = parsed.get<std::string>();
      if (currentKey == key) {
        if (seen) throw JsonDecodingError("$." + std::string(key), "given more than once");
        seen = true;
      }
    } else if (depth == 1 && event == Event::array_start && currentKey == key) {
      inArray = true;
      index = 0;
    } else if (depth == 1 && event == Event::array_end) {
      inArray = false;
    } else if (inArray && depth == 2 &&
               (event == Event::object_end || event == Event::array_end || event == Event::value)) {
      takeElement(JsonValue(parsed, elementPath()));
      ++index;
      return false;  // read: the tree need not keep it
    }
    return true;
  };
  return parseChecked(text, maximumDepth, callback);
}

void appendJsonString(std::string& out, std::string_view text) {
  // Nearly every name is printable ASCII without quotes or backslashes, which is written as it is;
  // anything else takes the serialiser's own escaping, so the bytes never differ from it.
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
  });
  if (plain) {
    out.push_back('"');
    out.append(text);
    out.push_back('"');
  } else {
    out.append(serialize(nlohmann::json(std::string(text))));
  }
}

namespace {

nlohmann::json parseChecked(std::string_view text, std::size_t maximumDepth,
                            const nlohmann::json::parser_callback_t& callback) {
  // nlohmann-json takes a NUL byte for the end of the input and would ignore everything after it;
  // JSON text never holds one, not even inside a string.
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
    throw JsonDecodingError("$", "not valid JSON at byte " + std::to_string(nul + 1));
  }
  if (jsonNestsDeeperThan(text, maximumDepth)) {
    throw JsonDecodingError("$", "nested deeper than " + std::to_string(maximumDepth) + " levels");
  }
  try {
    return nlohmann::json::parse(text.begin(), text.end(), callback);
  } catch (const nlohmann::json::parse_error& error) {
    // The parser's own message quotes the text it read, which may be a token: keep only the place.
    throw JsonDecodingError("$", "not valid JSON at byte " + std::to_string(error.byte));
  } catch (const nlohmann::json::exception&) {
    throw JsonDecodingError("$", "not valid JSON (a number out of range)");
  }
}

}  // namespace

bool jsonNestsDeeperThan(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"': inString = true; break;
      case '[':
      case '{':
        if (++depth > limit) return true;
        break;
      case ']':
      case '}':
        // Unbalanced closers are the parser's to refuse.
        if (depth > 0) --depth;
        break;
      default: break;
    }
  }
  return false;
}

void JsonValue::fail(const std::string& problem) const { throw JsonDecodingError(path_, problem); }

std::string JsonValue::string() const {
  if (!json_->is_string()) fail(std::string("expected a string, found ") + describe(*json_));
  return json_->get_ref<const std::string&>();
}

std::int64_t JsonValue::int64() const {
  if (json_->is_number_integer() && !json_->is_number_unsigned()) return json_->get<std::int64_t>();
  if (json_->is_number_unsigned()) {
    const auto value = json_->get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      fail("integer out of the 64-bit range");
    }
    return static_cast<std::int64_t>(value);
  }
  if (json_->is_number_float()) fail("expected an integer, found a fractional or out-of-range number");
  fail(std::string("expected an integer, found ") + describe(*json_));
}

double JsonValue::number() const {
  if (!json_->is_number()) fail(std::string("expected a number, found ") + describe(*json_));
  return json_->get<double>();
}

bool JsonValue::boolean() const {
  if (!json_->is_boolean()) fail(std::string("expected a boolean, found ") + describe(*json_));
  return json_->get<bool>();
}

std::chrono::system_clock::time_point JsonValue::date() const {
  const std::string text = string();
  const auto date = parseIsoDate(text);
  if (!date) fail("expected an ISO 8601 date-time with whole seconds");
  return *date;
}

Url JsonValue::url() const {
  auto parsed = Url::parse(string());
  if (!parsed) fail("expected a URL");
  return *parsed;
}

JsonObject JsonValue::object() const { return JsonObject(*this); }

std::vector<JsonValue> JsonValue::elements() const {
  if (!json_->is_array()) fail(std::string("expected an array, found ") + describe(*json_));
  std::vector<JsonValue> result;
  result.reserve(json_->size());
  for (std::size_t index = 0; index < json_->size(); ++index) {
    result.emplace_back((*json_)[index], path_ + "[" + std::to_string(index) + "]");
  }
  return result;
}

std::map<std::string, std::string> JsonValue::stringMap() const {
  const JsonObject object(*this);
  std::map<std::string, std::string> result;
  for (const auto& [key, value] : json_->items()) result.emplace(key, object.string(key));
  return result;
}

JsonObject::JsonObject(const JsonValue& value) : value_(value) {
  if (!value.raw().is_object()) value.fail(std::string("expected an object, found ") + describe(value.raw()));
}

std::string JsonObject::pathOf(std::string_view key) const { return value_.path() + "." + std::string(key); }

JsonValue JsonObject::required(std::string_view key) const {
  const auto& object = value_.raw();
  const auto found = object.find(key);
  if (found == object.end()) throw JsonDecodingError(pathOf(key), "required field is missing");
  if (found->is_null()) throw JsonDecodingError(pathOf(key), "required field is null");
  return JsonValue(*found, pathOf(key));
}

std::optional<JsonValue> JsonObject::optional(std::string_view key) const {
  const auto& object = value_.raw();
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return std::nullopt;
  return JsonValue(*found, pathOf(key));
}

JsonObjectWriter& JsonObjectWriter::setDate(std::string_view key, std::chrono::system_clock::time_point date) {
  return set(key, formatIsoDate(date));
}

std::string serializeJson(const nlohmann::ordered_json& json) { return serialize(json); }
std::string serializeJson(const nlohmann::json& json) { return serialize(json); }

}  // namespace tavrel::platform
