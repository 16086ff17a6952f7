#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/expected.h"
#include "platform/posix_files.h"
#include "platform/url.h"

namespace tavrel::platform {

struct HttpHeader {
  std::string name;
  std::string value;

  friend bool operator==(const HttpHeader&, const HttpHeader&) = default;
};

// A request body streamed from part of a file: `length` bytes from `offset`, or everything from
// `offset` to the end when `length` is none. The file is read while the request is sent, never
// held in memory whole; a file that is missing or shorter than the range fails the request with
// TransportErrorCode::fileUnreadable. A link is never followed. With an `identity`, the file must be
// that one when it is opened, or the request fails with TransportErrorCode::fileChanged before a
// byte is sent; a file that fails to read while sending and is no longer that one fails the same way.
struct FileRange {
  std::filesystem::path path;
  std::uint64_t offset = 0;
  std::optional<std::uint64_t> length;
  std::optional<FileIdentity> identity;

  friend bool operator==(const FileRange&, const FileRange&) = default;
};

// No body, a body in memory, or a body streamed from a file.
using HttpBody = std::variant<std::monostate, std::string, FileRange>;

struct HttpRequest {
  std::string method = "GET";
  Url url;
  std::vector<HttpHeader> headers;
  HttpBody body;
  // The longest the transfer may sit without moving a byte either way. There is no limit on the
  // whole request: a large upload takes as long as it takes while it makes progress.
  std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
  // Offers gzip for the answer's body, which arrives decoded; otherwise no encoding is offered.
  bool offersGzip = false;
};

struct HttpResponse {
  int status = 0;
  std::vector<HttpHeader> headers;  // in the order received; names as the server wrote them
  std::string body;
  Url url;  // the address that gave this answer, after any redirects that were followed

  // The first header of that name, compared without regard to letter case.
  std::optional<std::string> header(std::string_view name) const;
};

enum class TransportErrorCode {
  cancelled,         // the stop token was triggered; never a network failure
  timedOut,          // no byte moved for the request's idle timeout
  cannotConnect,     // name resolution or connection failed; nothing was sent
  connectionLost,    // the connection broke after it was made
  networkChanged,    // the desktop moved to another network before any answer came: send it again at once
  tlsFailure,        // handshake, certificate or protocol-version failure
  invalidRequest,    // refused before sending: bad scheme, host, method or header text
  tooManyRedirects,  // more same-origin redirects than the hop limit
  fileUnreadable,    // the body's file could not be opened or was shorter than its range
  fileChanged,       // the body's file is a link, or no longer the file (or the state) it was given as
  other,
};

struct TransportError {
  TransportErrorCode code = TransportErrorCode::other;
  std::string message;  // for logs; may hold the address, so log it as private

  friend bool operator==(const TransportError&, const TransportError&) = default;
};

std::string_view toString(TransportErrorCode code);

// Called on the sending thread as the body goes out: bytes of the body sent so far and the body's
// total size. Must not block for long; it may be called many times per second.
using UploadProgress = std::function<void(std::uint64_t bytesSent, std::uint64_t totalBytes)>;

// A blocking HTTP client.
//
// send() blocks the calling thread until the answer has arrived in full, the request fails, or
// `stopToken` is stopped; call it only on worker threads, never on the main thread. Any answer that
// arrives is a success, whatever its status: a 404 or a refused redirect's 3xx is the caller's to
// judge. A stopped token ends the request promptly with TransportErrorCode::cancelled.
//
// IMPORTANT: Thread-safety. One transport may be used by many threads at once; each send() is
// independent of the others.
class HttpTransport {
 public:
  virtual ~HttpTransport() = default;

  virtual Expected<HttpResponse, TransportError> send(const HttpRequest& request, std::stop_token stopToken = {},
                                                      UploadProgress progress = {}) = 0;
};

}  // namespace tavrel::platform
