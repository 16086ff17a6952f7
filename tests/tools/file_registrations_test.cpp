#include "local_service/file_registrations.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavrel {
namespace {

using localservice::FileRegistration;

// The registrations read, or nothing when the body is JSON but no list.
std::optional<std::vector<FileRegistration>> readFileRegistrations(std::string_view body) {
  std::vector<FileRegistration> files;
  if (!localservice::readFileRegistrations(body, [&](FileRegistration&& file) { files.push_back(std::move(file)); })) {
    return std::nullopt;
  }
  return files;
}

// The registrations are read in order with the five fields, whatever else an entry carries; the
// last of a repeated key counts, as a JSON tree would keep it.
TEST(FileRegistrationsTest, ReadsEachEntrysFieldsInOrderSkippingOthers) {
  const auto files = readFileRegistrations(
      R"([{"id":"a","filename":"x \"1\".txt","relativePath":"F/x \"1\".txt","mime":"text/plain","size":12,)"
      R"("extra":{"nested":[1,{"id":"no"}]},"more":null},)"
      R"({"size":3.0,"mime":"m","relativePath":"r","filename":"f","id":"first","id":"b"}])");
  ASSERT_TRUE(files);
  ASSERT_EQ(files->size(), 2u);
  EXPECT_EQ((*files)[0].id, "a");
  EXPECT_EQ((*files)[0].filename, "x \"1\".txt");
  EXPECT_EQ((*files)[0].relativePath, "F/x \"1\".txt");
  EXPECT_EQ((*files)[0].mime, "text/plain");
  EXPECT_EQ((*files)[0].size, 12);
  EXPECT_EQ((*files)[1].id, "b");
  EXPECT_EQ((*files)[1].size, 3);
  EXPECT_TRUE(readFileRegistrations("[]")->empty());
}

// JSON that is no list is told apart from a body that is not what the endpoint takes.
TEST(FileRegistrationsTest, RefusesWhatIsNotAListOfCompleteEntries) {
  EXPECT_FALSE(readFileRegistrations(R"({"id":"a"})"));
  EXPECT_FALSE(readFileRegistrations("42"));
  for (const char* body : {"", "[", R"({"id":)", "[1]", "[[]]", R"([{"id":"a"}])",
                           R"([{"id":1,"filename":"f","relativePath":"r","mime":"m","size":1}])",
                           R"([{"id":null,"filename":"f","relativePath":"r","mime":"m","size":1}])",
                           R"([{"id":"a","filename":"f","relativePath":"r","mime":"m","size":"1"}])",
                           R"([{"id":"a","filename":["f"],"relativePath":"r","mime":"m","size":1}])",
                           R"([{"id":"a","filename":"f","relativePath":"r","mime":"m","size":1}] trailing)"}) {
    EXPECT_THROW(readFileRegistrations(body), std::invalid_argument) << body;
  }
}

// Text written by hand reads as the JSON library writes it, escapes and all.
TEST(FileRegistrationsTest, WritesStringsAsTheJSONLibraryDoes) {
  for (const std::string& text : {std::string("plain"), std::string("quote \" back\\slash /"),
                                 std::string("\b\f\n\r\t\x01\x1f\x7f"), std::string("naïve 日本 😀")}) {
    std::string written;
    localservice::appendJSONString(written, text);
    EXPECT_EQ(written, nlohmann::json(text).dump()) << text;
  }
}

}  // namespace
}  // namespace tavrel
