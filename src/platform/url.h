#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::platform {

// A set of ASCII bytes that percent-encoding leaves as they are. Bytes outside 7-bit ASCII are never
// in a set: they are always encoded.
class CharacterSet {
 public:
  CharacterSet() = default;
  explicit CharacterSet(std::string_view characters);

  // US-ASCII letters and digits plus "-._~": the set every address the program forms uses.
  static const CharacterSet& unreserved();
  // What a query item's name or value may hold unencoded: the unreserved set plus the characters a
  // query allows, less the ones that would change how it splits ("&", "=", "+", "#").
  static const CharacterSet& queryItemAllowed();

  bool contains(unsigned char byte) const { return byte < 128 && bits_.test(byte); }
  CharacterSet adding(std::string_view characters) const;
  CharacterSet removing(std::string_view characters) const;
  CharacterSet intersecting(const CharacterSet& other) const;

 private:
  std::bitset<128> bits_;
};

// Every byte of `text` not in `allowed` becomes "%" and two upper-case hexadecimal digits; the text
// is taken as UTF-8 bytes, so a non-ASCII character becomes the escapes of its bytes.
std::string percentEncode(std::string_view text, const CharacterSet& allowed);

// Decodes "%XX" escapes; none when an escape is malformed ("%", "%4", "%G0"). "+" stays "+".
std::optional<std::string> percentDecode(std::string_view text);

struct QueryItem {
  std::string name;
  std::optional<std::string> value;  // none for an item written without "="

  friend bool operator==(const QueryItem&, const QueryItem&) = default;
};

// The parts that decide whether two addresses share an origin: lower-cased scheme and host, and the
// effective port (the written one, else 443 for https and 80 for http, else none).
struct UrlOrigin {
  std::string scheme;
  std::string host;
  std::optional<std::uint16_t> port;

  friend bool operator==(const UrlOrigin&, const UrlOrigin&) = default;
};

// An absolute URL in the shape of RFC 3986:
//   scheme ":" ["//" [userinfo "@"] host [":" port]] path ["?" query] ["#" fragment]
// Parsing is strict: control characters, blanks, non-ASCII bytes, characters a URL may not hold and
// malformed percent-escapes are refused rather than repaired. The scheme is kept lower-cased; the
// host keeps the letter case it was written in (origin() lower-cases it for comparison). An IPv6
// host is written in brackets, which host() leaves out. Path, query and fragment are kept in their
// percent-encoded form. A plain value; safe to copy between threads.
class Url {
 public:
  Url() = default;  // empty; isEmpty() is true and toString() gives ""

  static std::optional<Url> parse(std::string_view text);

  bool isEmpty() const { return scheme_.empty(); }
  std::string toString() const;

  const std::string& scheme() const { return scheme_; }
  bool hasAuthority() const { return hasAuthority_; }
  const std::optional<std::string>& userInfo() const { return userInfo_; }  // percent-encoded
  const std::string& host() const { return host_; }  // without IPv6 brackets; empty when none
  bool isIPv6Host() const { return hostIsIPv6_; }
  std::optional<std::uint16_t> port() const { return port_; }
  const std::string& path() const { return path_; }  // percent-encoded
  const std::optional<std::string>& query() const { return query_; }  // percent-encoded; "" for a bare "?"
  const std::optional<std::string>& fragment() const { return fragment_; }

  UrlOrigin origin() const;

  // Each setter checks its part as parse() would and returns false, changing nothing, when the text
  // is not a valid percent-encoded part for this address.
  bool setPath(std::string_view percentEncodedPath);
  bool setQuery(std::optional<std::string_view> percentEncodedQuery);
  bool setFragment(std::optional<std::string_view> percentEncodedFragment);
  bool setScheme(std::string_view scheme);  // lower-cased
  bool setHost(std::string_view host);      // an IPv6 address without brackets, or a registered name
  void setPort(std::optional<std::uint16_t> port) { port_ = port; }
  bool setUserInfo(std::optional<std::string_view> percentEncodedUserInfo);

  // The query split at "&" into items, each split at its first "=", names and values decoded; items
  // are kept in order, repeated names included. Empty pieces ("a=1&&b=2") are skipped.
  std::vector<QueryItem> queryItems() const;
  // A copy whose query is exactly `items` (none when the list is empty), names and values encoded
  // with `allowed`.
  Url withQueryItems(const std::vector<QueryItem>& items,
                     const CharacterSet& allowed = CharacterSet::queryItemAllowed()) const;

  friend bool operator==(const Url&, const Url&) = default;

 private:
  std::string scheme_;
  bool hasAuthority_ = false;
  std::optional<std::string> userInfo_;
  std::string host_;
  bool hostIsIPv6_ = false;
  std::optional<std::uint16_t> port_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace tavrel::platform
