#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/json.h"

using namespace tavrel::platform;

namespace {

struct Sample {
  std::string name;
  std::int64_t size = 0;
  bool flag = false;
  std::optional<std::string> note;
  std::vector<std::int64_t> parts;

  static Sample fromJson(const JsonValue& json) {
    const auto object = json.object();
    return {object.string("name"), object.int64("size"), object.boolean("flag"), object.optionalString("note"),
            object.array("parts", &JsonValue::int64)};
  }
  friend bool operator==(const Sample&, const Sample&) = default;
};

std::string failurePath(std::string_view text) {
  try {
    (void)decodeJson<Sample>(text);
  } catch (const JsonDecodingError& error) {
    return error.path();
  }
  return "<decoded>";
}

}  // namespace

TEST(JsonDecodingTest, DecodesWellTypedRecordIgnoringUnknownKeys) {
  const auto sample = decodeJson<Sample>(
      R"({"name":"a","size":-9223372036854775808,"flag":true,"parts":[1,2],"extra":{"x":[1.5]}})");
  EXPECT_EQ(sample, (Sample{"a", INT64_MIN, true, std::nullopt, {1, 2}}));
  EXPECT_EQ(decodeJson<Sample>(R"({"name":"a","size":9223372036854775807,"flag":false,"note":null,"parts":[]})").size,
            INT64_MAX);
  EXPECT_EQ(decodeJson<Sample>(R"({"name":"","size":0,"flag":false,"note":"n","parts":[]})").note, "n");
}

// Each case breaks one field; the whole record must fail at that field, never guess a value.
TEST(JsonDecodingTest, RefusesWrongTypesAndMissingFieldsAtTheirPath) {
  struct Case {
    const char* json;
    const char* path;
  };
  const std::vector<Case> cases = {
      {R"({"size":1,"flag":true,"parts":[]})", "$.name"},                     // missing required
      {R"({"name":null,"size":1,"flag":true,"parts":[]})", "$.name"},         // null required
      {R"({"name":7,"size":1,"flag":true,"parts":[]})", "$.name"},            // number for string
      {R"({"name":"a","size":1.0,"flag":true,"parts":[]})", "$.size"},        // whole fraction
      {R"({"name":"a","size":1e3,"flag":true,"parts":[]})", "$.size"},        // exponent form
      {R"({"name":"a","size":true,"flag":true,"parts":[]})", "$.size"},       // boolean for integer
      {R"({"name":"a","size":"1","flag":true,"parts":[]})", "$.size"},        // string for integer
      {R"({"name":"a","size":9223372036854775808,"flag":true,"parts":[]})", "$.size"},   // 2^63
      {R"({"name":"a","size":18446744073709551616,"flag":true,"parts":[]})", "$.size"},  // beyond 64 bits
      {R"({"name":"a","size":1,"flag":1,"parts":[]})", "$.flag"},             // number for boolean
      {R"({"name":"a","size":1,"flag":"true","parts":[]})", "$.flag"},        // string for boolean
      {R"({"name":"a","size":1,"flag":true,"note":3,"parts":[]})", "$.note"}, // wrong type in optional
      {R"({"name":"a","size":1,"flag":true,"parts":{}})", "$.parts"},         // object for array
      {R"({"name":"a","size":1,"flag":true,"parts":[1,null]})", "$.parts[1]"},
      {R"({"name":"a","size":1,"flag":true,"parts":[1,2.5]})", "$.parts[1]"},
      {R"([])", "$"},
      {R"(null)", "$"},
      {R"({"name":"a",)", "$"},                                                // malformed
      {R"({"name":"a","size":1,"flag":true,"parts":[]} x)", "$"},             // trailing content
      {"{\"name\":\"\xC3\x28\",\"size\":1,\"flag\":true,\"parts\":[]}", "$"},  // invalid UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(failurePath(c.json), c.path) << c.json;
}

TEST(JsonDecodingTest, ErrorTextNamesPathAndProblem) {
  const auto result = tryDecodeJson<Sample>(R"({"name":"a","size":1.5,"flag":true,"parts":[]})");
  ASSERT_FALSE(result.hasValue());
  EXPECT_EQ(std::string(result.error().what()), "$.size: expected an integer, found a fractional or out-of-range number");
}

TEST(JsonDecodingTest, NumbersDatesAndStringMaps) {
  const auto document = parseJson(
      R"({"a":3600,"b":3599.5,"c":true,"d":"2025-01-31T09:30:00Z","e":"2025-01-31T09:30:00.5Z",
          "h":{"x":"1","y":"2"},"bad":{"x":"1","y":2}})");
  const auto object = JsonValue(document).object();
  EXPECT_EQ(object.number("a"), 3600.0);
  EXPECT_EQ(object.number("b"), 3599.5);
  EXPECT_THROW(object.number("c"), JsonDecodingError);
  EXPECT_NO_THROW(object.date("d"));
  EXPECT_THROW(object.date("e"), JsonDecodingError);
  EXPECT_EQ(object.optionalDate("missing"), std::nullopt);
  EXPECT_EQ(object.required("h").stringMap(), (std::map<std::string, std::string>{{"x", "1"}, {"y", "2"}}));
  try {
    (void)object.required("bad").stringMap();
    FAIL();
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path(), "$.bad.y");
  }
}

TEST(JsonEncodingTest, KeepsKeyOrderAndLeavesAbsentOptionalsOut) {
  const std::optional<std::string> absent;
  const std::optional<std::int64_t> present = -4;
  const auto json = JsonObjectWriter()
                        .set("zeta", "z/\"q\"")
                        .set("alpha", std::int64_t{9007199254740993})
                        .setIfPresent("absent", absent)
                        .setIfPresent("present", present)
                        .set("flag", false)
                        .setDate("at", std::chrono::system_clock::time_point(std::chrono::seconds(1738315800)))
                        .take();
  EXPECT_EQ(serializeJson(json),
            R"({"zeta":"z/\"q\"","alpha":9007199254740993,"present":-4,"flag":false,"at":"2025-01-31T09:30:00Z"})");
}

TEST(JsonEncodingTest, RefusesStringsThatAreNotUtf8) {
  const auto json = JsonObjectWriter().set("name", std::string("\xFF")).take();
  EXPECT_THROW(serializeJson(json), JsonEncodingError);
  EXPECT_EQ(serializeJson(JsonObjectWriter().set("name", "caf\xC3\xA9").take()), "{\"name\":\"caf\xC3\xA9\"}");
}

TEST(JsonDecodingTest, ErrorTextsNeverQuoteTheDocument) {
  // Bodies carry tokens; a logged decoding error must not repeat them.
  for (const char* text : {R"({"access_token":"secret-token-1",)", R"({"access_token":secret-token-1})",
                           R"({"access_token":"secret-token-1","expires_in":"secret-token-1"})"}) {
    try {
      const auto document = parseJson(text);
      (void)JsonValue(document).object().number("expires_in");
      FAIL() << text;
    } catch (const JsonDecodingError& error) {
      EXPECT_EQ(std::string(error.what()).find("secret"), std::string::npos) << error.what();
    }
  }
}

TEST(JsonDecodingTest, ANulByteIsNotTheEndOfTheDocument) {
  using namespace std::string_view_literals;
  // The parser underneath stops at a NUL: "2" and then anything at all would have passed.
  EXPECT_THROW(parseJson("2\0{\"a\":"sv), JsonDecodingError);
  EXPECT_THROW(parseJson("\"a\0b\""sv), JsonDecodingError);
  EXPECT_EQ(parseJson("\"a\\u0000b\""sv), nlohmann::json(std::string("a\0b", 3)));
}

TEST(JsonNestingTest, ADocumentDeeperThanTheLimitIsRefusedBeforeItIsBuilt) {
  const auto nested = [](std::size_t depth) {
    return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
  };
  EXPECT_EQ(parseJson(nested(maximumJsonDepth)).size(), 1u);
  try {
    (void)parseJson(nested(maximumJsonDepth + 1));
    FAIL() << "a document one level too deep was parsed";
  } catch (const JsonDecodingError& error) {
    EXPECT_EQ(error.path(), "$");
    EXPECT_NE(std::string(error.what()).find("nested deeper than 64 levels"), std::string::npos) << error.what();
  }
  // Well-formed or not, a million levels are refused by the scan, never parsed.
  EXPECT_THROW(parseJson(std::string(1'000'000, '[') + std::string(1'000'000, ']')), JsonDecodingError);
}

TEST(JsonNestingTest, CountsOpenedArraysAndObjectsButNothingInsideStrings) {
  EXPECT_FALSE(jsonNestsDeeperThan(R"({"a": [1, {"b": []}]})", 4));
  EXPECT_TRUE(jsonNestsDeeperThan(R"({"a": [1, {"b": []}]})", 3));
  // Closed levels free their place: width is not depth.
  EXPECT_FALSE(jsonNestsDeeperThan("[[],[],[],[]]", 2));
  EXPECT_FALSE(jsonNestsDeeperThan(R"(["[[[[", "{{{{\"[[["])", 1));
  EXPECT_TRUE(jsonNestsDeeperThan(R"(["\\", [[]]])", 2));
  // Stray closers cannot buy depth back.
  EXPECT_TRUE(jsonNestsDeeperThan("]]]][[[", 2));
  // A million levels are scanned without recursion.
  EXPECT_TRUE(jsonNestsDeeperThan(std::string(1'000'000, '['), 64));
}
