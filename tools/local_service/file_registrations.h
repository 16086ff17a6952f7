#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrel::localservice {

// One entry of a register-files body.
struct FileRegistration {
  std::string id;
  std::string filename;
  std::string relativePath;
  std::string mime;
  std::int64_t size = 0;
};

// Reads the registrations of a register-files body as it is parsed, handing each to `take` in
// order, rather than through a JSON tree (a body of 250,000 files is some 100 MB as text and many
// times that as a tree). False when the body is well-formed JSON but not a list; throws
// std::invalid_argument when it is not JSON, or an entry is not an object with the five fields of
// their types (entries before it were handed over by then). Other keys are ignored; of a key given
// twice, the last counts.
bool readFileRegistrations(std::string_view body, const std::function<void(FileRegistration&&)>& take);

// `text` as a JSON string, quotes included, appended to `out`.
void appendJSONString(std::string& out, std::string_view text);

}  // namespace tavrel::localservice
