#include "platform/http_transport.h"

#include <algorithm>

namespace tavrel::platform {

std::optional<std::string> HttpResponse::header(std::string_view name) const {
  const auto sameName = [name](const HttpHeader& header) {
    return std::ranges::equal(header.name, name, [](char a, char b) {
      const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
      return lower(a) == lower(b);
    });
  };
  const auto found = std::ranges::find_if(headers, sameName);
  if (found == headers.end()) return std::nullopt;
  return found->value;
}

std::string_view toString(TransportErrorCode code) {
  switch (code) {
    case TransportErrorCode::cancelled: return "cancelled";
    case TransportErrorCode::timedOut: return "timed out";
    case TransportErrorCode::cannotConnect: return "cannot connect";
    case TransportErrorCode::connectionLost: return "connection lost";
    case TransportErrorCode::networkChanged: return "network changed";
    case TransportErrorCode::tlsFailure: return "TLS failure";
    case TransportErrorCode::invalidRequest: return "invalid request";
    case TransportErrorCode::tooManyRedirects: return "too many redirects";
    case TransportErrorCode::fileUnreadable: return "file unreadable";
    case TransportErrorCode::fileChanged: return "file changed";
    case TransportErrorCode::other: return "other";
  }
  return "other";
}

}  // namespace tavrel::platform
