#pragma once

#include <memory>

#include "platform/http_transport.h"
#include "platform/url.h"

namespace tavrel {

// True when both addresses have a scheme and a host, and their lower-cased schemes, lower-cased
// hosts and effective ports (the written port, else 443 for https and 80 for http, else none; two
// nones are equal) are equal.
bool isSameOrigin(const platform::Url& a, const platform::Url& b);

// The redirect rule of every session: a redirect is followed only within the origin that sent it.
// Holds no state; decisions may run on any thread at once.
class SameOriginRedirectDelegate {
 public:
  // `from` is the address that answered with the redirect, `to` the address it proposes; an empty
  // address stands for one that is missing, and is refused.
  static bool allowsRedirect(const platform::Url& from, const platform::Url& to);

  bool operator()(const platform::Url& from, const platform::Url& to) const { return allowsRedirect(from, to); }
};

// A new session built the one way all of the program's traffic goes: nothing remembered between
// requests (no cookies, credentials or cache), TLS 1.2 at least, http and https only, and redirects
// followed only within the same origin; a refused redirect comes back as its 3xx answer.
// Its kept connections are closed at each change of network that the desktop reports.
std::shared_ptr<platform::HttpTransport> makeUploadURLSession();

// The session of the sign-in, transfer and recent-transfers clients, and the session of storage
// uploads. Each is made on first use, exactly once, and lives as long as the process.
std::shared_ptr<platform::HttpTransport> sharedAPISession();
std::shared_ptr<platform::HttpTransport> sharedUploadSession();

}  // namespace tavrel
