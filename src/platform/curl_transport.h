#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/http_transport.h"

namespace tavrel::platform {

struct CurlTransportOptions {
  // Trust only the certificate authorities in this PEM file. When none, the file named by the
  // SSL_CERT_FILE environment variable is used if set, else the system's store.
  std::optional<std::filesystem::path> certificateAuthorityFile;
  // Redirects followed for one request before it fails with tooManyRedirects.
  int maximumRedirects = 10;
};

// HttpTransport on libcurl, remembering nothing between requests: no cookies, no .netrc, no
// credential or response cache. Only http and https are spoken, over TLS 1.2 or later.
//
// Redirects: libcurl never follows one itself. When an answer is a redirect (301, 302, 303, 307,
// 308 with a Location), `allowsRedirect(from, to)` decides; a refused redirect (or no decider)
// comes back as the 3xx answer itself. A followed 307 or 308 repeats the method and sends the body
// again (a file body is read again from its range); 303 turns into a GET without a body (HEAD
// stays HEAD); 301 and 302 turn a POST into a GET without a body and repeat any other method with
// its body, as browsers do. Authorization and Cookie headers are dropped when a redirect leaves
// the origin.
//
// Connections, TLS sessions, name lookups and transfer handles with their buffers are kept and
// reused between requests of one transport, so later requests to the same server skip the handshake
// and the set-up. A connection is only ever used by one request at a time; requests sent at the
// same time open connections of their own. A request that finds its kept-alive connection closed by
// the server (before any byte of an answer came back) goes out again on a new one, however long
// the transport has run.
//
// IMPORTANT: Thread-safety. send() may be called from many threads at once. The redirect decider
// runs on the sending thread and must be safe to call concurrently.
class CurlTransport final : public HttpTransport {
 public:
  using RedirectDecider = std::function<bool(const Url& from, const Url& to)>;

  explicit CurlTransport(RedirectDecider allowsRedirect = {}, CurlTransportOptions options = {});
  ~CurlTransport() override;
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

  Expected<HttpResponse, TransportError> send(const HttpRequest& request, std::stop_token stopToken = {},
                                              UploadProgress progress = {}) override;

 private:
  struct Shared;
  RedirectDecider allowsRedirect_;
  CurlTransportOptions options_;
  std::unique_ptr<Shared> shared_;
};

}  // namespace tavrel::platform
