#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http_transport.h"
#include "platform/url.h"

namespace tavrel::localservice {

// One request as the server received it.
struct RecordedRequest {
  std::string method;
  std::string path;                  // percent-encoded, as sent, without the query
  std::optional<std::string> query;  // percent-encoded, without "?"
  std::vector<platform::HttpHeader> headers;
  std::uint64_t bodySize = 0;
  std::string bodySha256;  // lower-case hexadecimal of every body byte received
  std::string body;        // the whole body when it is no larger than the server's body limit, else empty
  std::filesystem::path bodyFile;  // the body on disk when it was spooled (see setBodySpool), else empty
  bool bodyComplete = true;       // false when the connection was dropped while the body came in
  bool bodyRefused = false;       // longer than refuseBodiesOver() allows: read to its end and dropped
  std::vector<std::string> pathMatches;  // the route pattern's capture groups
  int remotePort = 0;                    // the client's port: equal ports mean one connection

  std::optional<std::string> header(std::string_view name) const;  // letter case ignored
};

struct Response {
  int status = 200;
  std::vector<platform::HttpHeader> headers;
  std::string body;
  std::string contentType = "application/json";
  // When not empty, the body is these files' bytes one after the other, streamed from disk; the
  // files must be there until the answer is sent (a file gone by then cuts the answer short).
  std::vector<std::filesystem::path> bodyFiles;

  static Response json(std::string body, int status = 200);
  static Response redirect(int status, std::string location);
};

// A fault a route plays instead of (or while giving) its answer.
struct Fault {
  enum class Kind {
    answer,            // answer with `status` and an empty body, without calling the route
    dropBeforeAnswer,  // read the request, then close the connection without a byte of answer
    dropMidBody,       // send the route's headers and half its body (at least 64 KiB), then close
    dropMidUpload,     // close the connection once half the request body has arrived
    stall,             // read the request's headers, then neither read nor send until the server stops
  };
  Kind kind = Kind::answer;
  int status = 0;

  static Fault answer(int status) { return {Kind::answer, status}; }
  static Fault dropBeforeAnswer() { return {Kind::dropBeforeAnswer, 0}; }
  static Fault dropMidBody() { return {Kind::dropMidBody, 0}; }
  static Fault dropMidUpload() { return {Kind::dropMidUpload, 0}; }
  static Fault stall() { return {Kind::stall, 0}; }
};

class CertificateAuthority;

// An HTTP server on 127.0.0.1, speaking TLS with a certificate of our own authority (or plain HTTP
// when asked), on real sockets: the ground of the local service and of the tests of everything
// that talks HTTP.
//
// Routes are a method ("*" for any) and a regular expression matched against the whole path; the
// route registered last wins. Every request is recorded, matched or not (unmatched ones get 404).
// Request bodies are streamed through SHA-256 and kept in memory only up to the body limit, so a
// test can send gigabytes. Faults are scheduled per route and request number; only code that holds
// the server can schedule them (tests), never a request.
//
// IMPORTANT: Thread-safety. Handlers run on the server's worker threads, several at once; every
// member may be called from any thread. Destruction (or stop()) ends stalled answers and open
// connections and never hangs.
class HttpsServer {
 public:
  enum class Scheme { https, http };
  using Handler = std::function<Response(const RecordedRequest&)>;

  struct Options {
    Scheme scheme = Scheme::https;
    std::shared_ptr<const CertificateAuthority> authority;  // none: the process's ephemeral one
    std::uint16_t port = 0;                                 // 0: an ephemeral port
    bool recordsRequests = true;  // off for a long-running server, whose memory must not grow
  };

  // An ephemeral port and the process's ephemeral authority.
  explicit HttpsServer(Scheme scheme = Scheme::https);
  // Throws std::runtime_error when the port cannot be bound.
  explicit HttpsServer(Options options);
  ~HttpsServer();
  HttpsServer(const HttpsServer&) = delete;
  HttpsServer& operator=(const HttpsServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "https://127.0.0.1:<port>" followed by `pathAndQuery`.
  platform::Url url(std::string_view pathAndQuery = "/") const;
  // The same server under the name "localhost": another host, same scheme and port.
  platform::Url localhostUrl(std::string_view pathAndQuery = "/") const;

  void route(std::string method, std::string pathPattern, Handler handler);
  // Plays `fault` on the `requestNumber`-th request (1-based) that matches method and pattern,
  // counted from now; 0 plays it on every such request.
  void addFault(std::string method, std::string pathPattern, std::size_t requestNumber, Fault fault);
  // Bodies larger than this are only counted and hashed. Default 16 MiB.
  void setBodyLimit(std::uint64_t bytes) { bodyLimit_ = bytes; }
  // Bodies of requests whose path matches `pathPattern` are kept whole up to `bytes` (whatever the
  // body limit); a longer one is read to its end and dropped, and its route is told so
  // (`bodyRefused`), to answer after its own checks. Call before the first such request.
  void refuseBodiesOver(std::uint64_t bytes, std::string pathPattern);
  void setHashesBodies(bool hashes) { hashesBodies_ = hashes; }
  // How long a kept-alive connection may sit idle before the server closes it (5 s unless set);
  // zero closes it unless the next request follows at once. Connections accepted later keep to it.
  void setKeepAliveTimeout(std::chrono::seconds timeout);
  // Bodies of requests whose path matches `pathPattern` go to a new file in `directory` (and not
  // into memory) as they arrive; the handler may move the file away, else it is removed once the
  // handler returns. Call before the first such request.
  void setBodySpool(std::filesystem::path directory, std::string pathPattern);

  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;
  // Blocks until `count` requests were recorded or `timeout` passed; true when they were.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Blocks until `count` requests have started arriving (headers read, body perhaps not yet).
  bool waitForRequestsStarted(std::size_t count, std::chrono::milliseconds timeout) const;
  void clearRequests();

  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::uint16_t port_ = 0;
  std::atomic<std::uint64_t> bodyLimit_{16 * 1024 * 1024};
  std::atomic<bool> hashesBodies_{true};
};

// Lower-case hexadecimal SHA-256 of the bytes of a file (streamed) or of a string.
std::string sha256OfFile(const std::filesystem::path& path);
std::string sha256Of(std::string_view bytes);

}  // namespace tavrel::localservice
