#include "platform/url.h"

#include <arpa/inet.h>

#include <algorithm>

namespace tavrel::platform {
namespace {

constexpr std::string_view kAlphaDigit =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::string_view kSubDelimiters = "!$&'()*+,;=";

const CharacterSet& userInfoCharacters() {
  static const CharacterSet set = CharacterSet::unreserved().adding(kSubDelimiters).adding(":");
  return set;
}
const CharacterSet& registeredNameCharacters() {
  static const CharacterSet set = CharacterSet::unreserved().adding(kSubDelimiters);
  return set;
}
const CharacterSet& pathCharacters() {
  static const CharacterSet set = CharacterSet::unreserved().adding(kSubDelimiters).adding(":@/");
  return set;
}
const CharacterSet& queryCharacters() {
  static const CharacterSet set = pathCharacters().adding("?");
  return set;
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c - 'a' + 10;
}
char toLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
std::string lowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = toLowerAscii(c);
  return result;
}

// True when every byte is in `allowed` or part of a well-formed "%XX" escape.
bool isValidEncodedPart(std::string_view text, const CharacterSet& allowed) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      if (!isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) return false;
      i += 2;
    } else if (!allowed.contains(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

bool isValidScheme(std::string_view scheme) {
  if (scheme.empty()) return false;
  const char first = toLowerAscii(scheme.front());
  if (first < 'a' || first > 'z') return false;
  static const CharacterSet rest = CharacterSet(kAlphaDigit).adding("+-.");
  for (char c : scheme) {
    if (!rest.contains(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// IPv6 literal without its brackets, in any of its written forms (an embedded IPv4 tail included).
// Zone identifiers are not accepted.
bool isValidIPv6(std::string_view host) {
  if (host.empty() || host.size() > 45) return false;
  if (!std::ranges::all_of(host, [](char c) { return isHexDigit(c) || c == ':' || c == '.'; })) return false;
  in6_addr address{};
  return ::inet_pton(AF_INET6, std::string(host).c_str(), &address) == 1;
}

std::optional<std::uint16_t> parsePort(std::string_view text, bool& valid) {
  valid = true;
  if (text.empty()) return std::nullopt;  // "host:" means the scheme's default port
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      valid = false;
      return std::nullopt;
    }
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 65535) {
      valid = false;
      return std::nullopt;
    }
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace

CharacterSet::CharacterSet(std::string_view characters) {
  for (char c : characters) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 128) bits_.set(byte);
  }
}

const CharacterSet& CharacterSet::unreserved() {
  static const CharacterSet set = CharacterSet(kAlphaDigit).adding("-._~");
  return set;
}

const CharacterSet& CharacterSet::queryItemAllowed() {
  static const CharacterSet set = CharacterSet::unreserved().adding("!$'()*,;:@/?");
  return set;
}

CharacterSet CharacterSet::adding(std::string_view characters) const {
  CharacterSet result = *this;
  result.bits_ |= CharacterSet(characters).bits_;
  return result;
}

CharacterSet CharacterSet::intersecting(const CharacterSet& other) const {
  CharacterSet result = *this;
  result.bits_ &= other.bits_;
  return result;
}

CharacterSet CharacterSet::removing(std::string_view characters) const {
  CharacterSet result = *this;
  result.bits_ &= ~CharacterSet(characters).bits_;
  return result;
}

std::string percentEncode(std::string_view text, const CharacterSet& allowed) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (allowed.contains(byte)) {
      result.push_back(c);
    } else {
      result.push_back('%');
      result.push_back(kHex[byte >> 4]);
      result.push_back(kHex[byte & 0x0F]);
    }
  }
  return result;
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      result.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
      return std::nullopt;
    }
    result.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
    i += 2;
  }
  return result;
}

std::optional<Url> Url::parse(std::string_view text) {
  // Refuse at once what no part may hold, so later steps only check their own rules.
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return std::nullopt;
  }

  Url url;
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view scheme = text.substr(0, colon);
  if (!isValidScheme(scheme)) return std::nullopt;
  url.scheme_ = lowerAscii(scheme);
  std::string_view rest = text.substr(colon + 1);

  // Fragment and query first: neither "#" nor "?" may appear before them in the other parts.
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    const std::string_view fragment = rest.substr(hash + 1);
    if (!isValidEncodedPart(fragment, queryCharacters())) return std::nullopt;
    url.fragment_ = std::string(fragment);
    rest = rest.substr(0, hash);
  }
  if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
    const std::string_view query = rest.substr(question + 1);
    if (!isValidEncodedPart(query, queryCharacters())) return std::nullopt;
    url.query_ = std::string(query);
    rest = rest.substr(0, question);
  }

  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
    url.hasAuthority_ = true;

    if (const std::size_t at = authority.find('@'); at != std::string_view::npos) {
      if (!url.setUserInfo(authority.substr(0, at))) return std::nullopt;
      authority = authority.substr(at + 1);
    }
    std::string_view portText;
    bool hasPortText = false;
    if (authority.starts_with('[')) {
      const std::size_t close = authority.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      const std::string_view host = authority.substr(1, close - 1);
      if (!isValidIPv6(host)) return std::nullopt;
      url.host_ = std::string(host);
      url.hostIsIPv6_ = true;
      const std::string_view after = authority.substr(close + 1);
      if (!after.empty()) {
        if (after.front() != ':') return std::nullopt;
        portText = after.substr(1);
        hasPortText = true;
      }
    } else {
      const std::size_t portColon = authority.find(':');
      const std::string_view host = authority.substr(0, portColon);
      if (!isValidEncodedPart(host, registeredNameCharacters())) return std::nullopt;
      url.host_ = std::string(host);
      if (portColon != std::string_view::npos) {
        portText = authority.substr(portColon + 1);
        hasPortText = true;
      }
    }
    if (hasPortText) {
      bool valid = false;
      url.port_ = parsePort(portText, valid);
      if (!valid) return std::nullopt;
    }
  }

  if (!url.setPath(rest)) return std::nullopt;
  return url;
}

std::string Url::toString() const {
  if (isEmpty()) return {};
  std::string text = scheme_ + ":";
  if (hasAuthority_) {
    text += "//";
    if (userInfo_) text += *userInfo_ + "@";
    text += hostIsIPv6_ ? "[" + host_ + "]" : host_;
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary string.
    if (port_) {
      text += ':';
      text += std::to_string(*port_);
    }
  }
  text += path_;
  if (query_) text += "?" + *query_;
  if (fragment_) text += "#" + *fragment_;
  return text;
}

UrlOrigin Url::origin() const {
  UrlOrigin result{scheme_, lowerAscii(host_), port_};
  if (!result.port) {
    if (scheme_ == "https") result.port = 443;
    else if (scheme_ == "http") result.port = 80;
  }
  return result;
}

bool Url::setPath(std::string_view percentEncodedPath) {
  if (!isValidEncodedPart(percentEncodedPath, pathCharacters())) return false;
  if (hasAuthority_ && !percentEncodedPath.empty() && percentEncodedPath.front() != '/') return false;
  // Without an authority a path starting "//" would read back as one.
  if (!hasAuthority_ && percentEncodedPath.starts_with("//")) return false;
  path_ = std::string(percentEncodedPath);
  return true;
}

bool Url::setQuery(std::optional<std::string_view> percentEncodedQuery) {
  if (percentEncodedQuery && !isValidEncodedPart(*percentEncodedQuery, queryCharacters())) return false;
  query_ = percentEncodedQuery ? std::optional<std::string>(std::string(*percentEncodedQuery)) : std::nullopt;
  return true;
}

bool Url::setFragment(std::optional<std::string_view> percentEncodedFragment) {
  if (percentEncodedFragment && !isValidEncodedPart(*percentEncodedFragment, queryCharacters())) return false;
  fragment_ = percentEncodedFragment ? std::optional<std::string>(std::string(*percentEncodedFragment))
                                     : std::nullopt;
  return true;
}

bool Url::setScheme(std::string_view scheme) {
  if (!isValidScheme(scheme)) return false;
  scheme_ = lowerAscii(scheme);
  return true;
}

bool Url::setHost(std::string_view host) {
  const bool isIPv6 = host.find(':') != std::string_view::npos;
  if (isIPv6 ? !isValidIPv6(host) : !isValidEncodedPart(host, registeredNameCharacters())) return false;
  if (!path_.empty() && path_.front() != '/') return false;
  host_ = std::string(host);
  hostIsIPv6_ = isIPv6;
  hasAuthority_ = true;
  return true;
}

bool Url::setUserInfo(std::optional<std::string_view> percentEncodedUserInfo) {
  if (percentEncodedUserInfo && !isValidEncodedPart(*percentEncodedUserInfo, userInfoCharacters())) return false;
  userInfo_ = percentEncodedUserInfo ? std::optional<std::string>(std::string(*percentEncodedUserInfo))
                                     : std::nullopt;
  return true;
}

std::vector<QueryItem> Url::queryItems() const {
  std::vector<QueryItem> items;
  if (!query_) return items;
  std::string_view rest = *query_;
  while (!rest.empty()) {
    const std::size_t amp = rest.find('&');
    const std::string_view piece = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
    if (piece.empty()) continue;
    const std::size_t equals = piece.find('=');
    QueryItem item;
    // The query was validated when it was set, so its escapes decode.
    item.name = percentDecode(piece.substr(0, equals)).value_or(std::string{});
    if (equals != std::string_view::npos) {
      item.value = percentDecode(piece.substr(equals + 1)).value_or(std::string{});
    }
    items.push_back(std::move(item));
  }
  return items;
}

Url Url::withQueryItems(const std::vector<QueryItem>& items, const CharacterSet& allowed) const {
  Url result = *this;
  if (items.empty()) {
    result.query_.reset();
    return result;
  }
  // Characters that split a query are never left raw, whatever set the caller passes.
  const CharacterSet safe = allowed.intersecting(queryCharacters()).removing("&=#+%");
  std::string query;
  for (const QueryItem& item : items) {
    if (!query.empty()) query += '&';
    query += percentEncode(item.name, safe);
    if (item.value) {
      query += '=';
      query += percentEncode(*item.value, safe);
    }
  }
  result.query_ = std::move(query);
  return result;
}

}  // namespace tavrel::platform
