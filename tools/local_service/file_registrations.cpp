#include "local_service/file_registrations.h"

#include <nlohmann/json.hpp>

namespace tavrel::localservice {
namespace {

using nlohmann::json;

// Follows the parser through a top-level array of objects, keeping the five fields of each and
// stepping over anything nested in other keys.
class RegistrationReader final : public nlohmann::json_sax<json> {
 public:
  explicit RegistrationReader(const std::function<void(FileRegistration&&)>& take) : take_(take) {}

  bool isList = true;
  std::string failure;

  bool null() override { return value(Kind::other); }
  bool boolean(bool) override { return value(Kind::other); }
  bool number_integer(number_integer_t value) override { return integer(static_cast<std::int64_t>(value)); }
  bool number_unsigned(number_unsigned_t value) override { return integer(static_cast<std::int64_t>(value)); }
  bool number_float(number_float_t value, const string_t&) override {
    return integer(static_cast<std::int64_t>(value));
  }
  bool string(string_t& text) override {
    if (depth_ != 2) return value(Kind::other);
    if (std::string* field = textField()) {
      *field = std::move(text);
      seen_ |= bitOf(key_);
      return true;
    }
    return value(Kind::text);
  }
  bool binary(binary_t&) override { return value(Kind::other); }

  bool start_object(std::size_t) override {
    if (depth_ == 0) {
      isList = false;
      return false;  // well-formed or not, it is no list: stop here
    }
    if (depth_ == 1) {
      file_ = {};
      seen_ = 0;
    } else if (depth_ == 2 && !ignored(key_)) {
      return fail("the field " + key_ + " is an object");
    }
    ++depth_;
    return true;
  }
  bool end_object() override {
    --depth_;
    if (depth_ == 1) {
      if (seen_ != kAllFields) return fail("an entry lacks a field");
      take_(std::move(file_));
    }
    return true;
  }
  bool start_array(std::size_t) override {
    if (depth_ == 1) return fail("an entry is a list");
    if (depth_ == 2 && !ignored(key_)) return fail("the field " + key_ + " is a list");
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool key(string_t& name) override {
    if (depth_ == 2) key_ = std::move(name);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
    return fail(error.what());
  }

 private:
  enum class Kind { text, other };
  static constexpr unsigned kAllFields = 0b11111;

  static unsigned bitOf(const std::string& key) {
    if (key == "id") return 1;
    if (key == "filename") return 2;
    if (key == "relativePath") return 4;
    if (key == "mime") return 8;
    if (key == "size") return 16;
    return 0;
  }
  bool ignored(const std::string& key) const { return bitOf(key) == 0; }

  std::string* textField() {
    FileRegistration& file = file_;
    switch (bitOf(key_)) {
      case 1: return &file.id;
      case 2: return &file.filename;
      case 4: return &file.relativePath;
      case 8: return &file.mime;
      default: return nullptr;
    }
  }
  bool integer(std::int64_t number) {
    if (depth_ == 2 && key_ == "size") {
      file_.size = number;
      seen_ |= bitOf(key_);
      return true;
    }
    return value(Kind::other);
  }
  // A scalar where no known field takes it: fine in another key, wrong in place of an entry or
  // as a field of another type.
  bool value(Kind) {
    if (depth_ == 0) {
      isList = false;
      return false;
    }
    if (depth_ == 1) return fail("an entry is not an object");
    if (depth_ == 2 && !ignored(key_)) return fail("the field " + key_ + " has the wrong type");
    return true;
  }
  bool fail(std::string why) {
    if (failure.empty()) failure = std::move(why);
    return false;
  }

  const std::function<void(FileRegistration&&)>& take_;
  FileRegistration file_;
  int depth_ = 0;  // 1: in the list, 2: in an entry, deeper: inside a field that is not read
  std::string key_;
  unsigned seen_ = 0;
};

}  // namespace

bool readFileRegistrations(std::string_view body, const std::function<void(FileRegistration&&)>& take) {
  RegistrationReader reader(take);
  const bool parsed = json::sax_parse(body, &reader);
  if (!reader.isList) {
    // Not a list: still not what the endpoint takes unless it is JSON at all.
    if (!json::accept(body)) throw std::invalid_argument("the body is not JSON");
    return false;
  }
  if (!parsed) throw std::invalid_argument(reader.failure.empty() ? "the body is not JSON" : reader.failure);
  return true;
}

void appendJSONString(std::string& out, std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out.push_back(kDigits[byte >> 4]);
          out.push_back(kDigits[byte & 0x0F]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

}  // namespace tavrel::localservice
