#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "platform/http_transport.h"
#include "platform/network_monitor.h"

namespace tavrel::platform {

// How the kernel finds a connection that went silent with nothing to tell us (a NAT that forgot it,
// a network left behind, a peer that vanished), well before a request's idle timeout. A connection
// quiet for `keepaliveIdle` is probed every `keepaliveInterval`; a live peer answers each probe at
// once, however long its server takes to answer the request. Once nothing at all has come back for
// `userTimeout`, for data sent and never acknowledged or for probes unanswered, the connection is
// dropped and its request fails as connectionLost. (`keepaliveProbes` only counts where no user
// timeout is set: with one, Linux ends probing by time.) docs/architecture.md gives the reasons.
struct DeadConnectionTimes {
  std::chrono::seconds keepaliveIdle{6};
  std::chrono::seconds keepaliveInterval{3};
  int keepaliveProbes = 3;
  std::chrono::milliseconds userTimeout{15'000};
};

struct CurlTransportOptions {
  // Trust only the certificate authorities in this PEM file. When none, the file named by the
  // SSL_CERT_FILE environment variable is used if set, else the system's store.
  std::optional<std::filesystem::path> certificateAuthorityFile;
  // Redirects followed for one request before it fails with tooManyRedirects.
  int maximumRedirects = 10;
  DeadConnectionTimes deadConnectionTimes = {};
  // Where the desktop reports network changes: at each, the kept connections are closed and the
  // requests in flight that have no answer yet fail at once as networkChanged, to be sent again on
  // new connections. A request whose answer has started to arrive is left to finish.
  std::shared_ptr<NetworkMonitor> networkMonitor = {};
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
// the transport has run. Connections are probed while they wait, so one that went silent is found
// within about `DeadConnectionTimes::userTimeout` (see there).
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
  // Last: it ends before the pool it empties.
  std::unique_ptr<NetworkMonitor::Observation> networkObservation_;
};

}  // namespace tavrel::platform
