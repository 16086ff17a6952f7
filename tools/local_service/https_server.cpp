#include "local_service/https_server.h"

// Ahead of httplib.h, which brings <regex> too.
#include "platform/regex.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <mutex>
#include <stdexcept>

#include "local_service/certificate_authority.h"

namespace tavrel::localservice {
namespace {

std::string hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

class Sha256 {
 public:
  Sha256() : context_(EVP_MD_CTX_new()) { EVP_DigestInit_ex(context_, EVP_sha256(), nullptr); }
  ~Sha256() { EVP_MD_CTX_free(context_); }
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void update(const void* data, std::size_t size) { EVP_DigestUpdate(context_, data, size); }
  std::string finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(context_, digest, &size);
    return hex(digest, size);
  }

 private:
  EVP_MD_CTX* context_;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::uint16_t localPort(int fd) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return 0;
}

std::optional<std::uint16_t> peerPort(int fd) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return std::nullopt;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return std::nullopt;
}

// Shuts down the server's accepted connections (all, or the one from `onlyPeerPort`). Accepted
// sockets share the listening port as their local port, which no client socket of this process can
// have, so nothing else is touched.
void shutDownConnections(std::uint16_t serverPort, std::optional<int> onlyPeerPort) {
  DIR* directory = ::opendir("/proc/self/fd");
  if (!directory) return;
  const int ownFd = ::dirfd(directory);
  while (dirent* entry = ::readdir(directory)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == ownFd) continue;
    const int socket = static_cast<int>(fd);
    if (localPort(socket) != serverPort) continue;
    const auto peer = peerPort(socket);
    if (!peer) continue;  // the listening socket
    if (onlyPeerPort && *peer != *onlyPeerPort) continue;
    // Reset rather than close politely: a client blocked on a zero window would otherwise wait
    // for a reset that never comes.
    const linger abort{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::shutdown(socket, SHUT_RDWR);
  }
  ::closedir(directory);
}

struct Route {
  std::string method;
  std::regex pattern;
  HttpsServer::Handler handler;
};

struct BodyCeiling {
  std::regex pattern;
  std::uint64_t bytes = 0;
};

struct ScheduledFault {
  std::string method;
  std::regex pattern;
  std::size_t requestNumber = 0;
  Fault fault;
  std::size_t seen = 0;
};

constexpr std::size_t kWorkers = 64;

bool methodMatches(const std::string& wanted, const std::string& method) {
  return wanted == "*" || wanted == method || (wanted == "GET" && method == "HEAD");
}

}  // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  for (const auto& header : headers) {
    if (equalsIgnoringCase(header.name, name)) return header.value;
  }
  return std::nullopt;
}

Response Response::json(std::string body, int status) {
  Response response;
  response.status = status;
  response.body = std::move(body);
  return response;
}

Response Response::redirect(int status, std::string location) {
  Response response;
  response.status = status;
  response.headers.push_back({"Location", std::move(location)});
  response.contentType = "text/plain";
  return response;
}

struct HttpsServer::Impl {
  HttpsServer* owner = nullptr;
  Scheme scheme = Scheme::https;
  std::unique_ptr<httplib::Server> server;
  std::future<void> listening;
  std::uint16_t port = 0;
  int listeningSocket = -1;
  std::shared_ptr<const CertificateAuthority> authority;  // kept alive while the server runs
  bool records = true;
  std::filesystem::path spoolDirectory;
  std::optional<std::regex> spoolPattern;
  std::atomic<std::uint64_t> spooled{0};

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Route> routes;
  std::vector<ScheduledFault> faults;
  std::vector<BodyCeiling> ceilings;
  std::vector<RecordedRequest> recorded;
  std::size_t started = 0;
  bool stopping = false;
  bool stopped = false;

  void handle(const httplib::Request& request, httplib::Response& response, const httplib::ContentReader* reader);
};

void HttpsServer::Impl::handle(const httplib::Request& request, httplib::Response& response,
                                   const httplib::ContentReader* reader) {
  RecordedRequest recordedRequest;
  recordedRequest.method = request.method;
  recordedRequest.remotePort = request.remote_port;
  const std::size_t question = request.target.find('?');
  recordedRequest.path = request.target.substr(0, question);
  if (question != std::string::npos) recordedRequest.query = request.target.substr(question + 1);
  for (const auto& [name, value] : request.headers) {
    if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") continue;
    recordedRequest.headers.push_back({name, value});
  }

  std::optional<Fault> fault;
  Handler handler;
  std::optional<BodyCeiling> ceiling;
  {
    std::lock_guard lock(mutex);
    ++started;
    for (const auto& candidate : ceilings) {
      if (std::regex_match(recordedRequest.path, candidate.pattern)) {
        ceiling = candidate;
        break;
      }
    }
    for (auto& scheduled : faults) {
      if (!methodMatches(scheduled.method, request.method) ||
          !std::regex_match(recordedRequest.path, scheduled.pattern)) {
        continue;
      }
      ++scheduled.seen;
      if (!fault && (scheduled.requestNumber == 0 || scheduled.seen == scheduled.requestNumber)) {
        fault = scheduled.fault;
      }
    }
    for (auto route = routes.rbegin(); route != routes.rend(); ++route) {
      std::smatch match;
      if (methodMatches(route->method, request.method) && std::regex_match(recordedRequest.path, match, route->pattern)) {
        handler = route->handler;
        for (std::size_t i = 1; i < match.size(); ++i) recordedRequest.pathMatches.push_back(match[i].str());
        break;
      }
    }
  }
  changed.notify_all();

  if (fault && fault->kind == Fault::Kind::stall) {
    // Read nothing more: an upload stalls against full socket buffers, a download never starts.
    recordedRequest.bodyComplete = request.get_header_value_count("Content-Length") == 0 ||
                                   request.get_header_value<std::uint64_t>("Content-Length") == 0;
    std::unique_lock lock(mutex);
    if (records) recorded.push_back(recordedRequest);
    changed.notify_all();
    changed.wait(lock, [this] { return stopping; });
    lock.unlock();
    shutDownConnections(port, request.remote_port);
    return;
  }

  const std::uint64_t limit = ceiling ? ceiling->bytes : owner->bodyLimit_.load();
  const bool hashes = owner->hashesBodies_.load();
  const auto expectedLength = request.get_header_value_count("Content-Length") > 0
                                  ? request.get_header_value<std::uint64_t>("Content-Length")
                                  : 0;
  const bool dropsMidUpload = fault && fault->kind == Fault::Kind::dropMidUpload;
  Sha256 digest;
  bool keeps = true;
  std::ofstream spool;
  if (spoolPattern && std::regex_match(recordedRequest.path, *spoolPattern)) {
    recordedRequest.bodyFile = spoolDirectory / ("incoming-" + std::to_string(::getpid()) + "-" + std::to_string(++spooled));
    spool.open(recordedRequest.bodyFile, std::ios::binary | std::ios::trunc);
    keeps = false;
  }
  // Removes a spooled body the handler did not take, whatever way this request ends.
  struct SpoolCleanup {
    const std::filesystem::path& file;
    ~SpoolCleanup() {
      if (file.empty()) return;
      std::error_code ignored;
      std::filesystem::remove(file, ignored);
    }
  } spoolCleanup{recordedRequest.bodyFile};
  // A body kept whole grows once, not by doubling: a large one would otherwise take twice its size.
  if (keeps && expectedLength <= limit) recordedRequest.body.reserve(static_cast<std::size_t>(expectedLength));
  bool spoolFailed = false;
  const auto receive = [&](const char* data, std::size_t size) {
    if (hashes) digest.update(data, size);
    recordedRequest.bodySize += size;
    if (spool.is_open()) {
      spool.write(data, static_cast<std::streamsize>(size));
      spoolFailed = spoolFailed || !spool;
    }
    if (keeps && recordedRequest.bodySize <= limit) {
      recordedRequest.body.append(data, size);
    } else {
      keeps = false;
      std::string().swap(recordedRequest.body);  // give the memory back, not just the length
    }
    if (dropsMidUpload && recordedRequest.bodySize * 2 >= expectedLength) {
      shutDownConnections(port, request.remote_port);
      return false;
    }
    return true;
  };
  if (reader) {
    recordedRequest.bodyComplete = (*reader)(receive);
  } else if (!request.body.empty()) {
    receive(request.body.data(), request.body.size());
  }
  if (recordedRequest.bodySize < expectedLength) recordedRequest.bodyComplete = false;
  recordedRequest.bodySha256 = hashes ? digest.finish() : std::string{};
  if (spool.is_open()) {
    spool.close();
    // A body that could not be kept whole on disk is as good as one cut short.
    if (spoolFailed || !spool) recordedRequest.bodyComplete = false;
  }

  recordedRequest.bodyRefused = ceiling && recordedRequest.bodySize > ceiling->bytes;
  {
    std::lock_guard lock(mutex);
    if (records) recorded.push_back(recordedRequest);
  }
  changed.notify_all();
  // Not copied: a body may be hundreds of megabytes.
  const RecordedRequest& snapshot = recordedRequest;

  if (fault) {
    switch (fault->kind) {
      case Fault::Kind::answer:
        response.status = fault->status;
        return;
      case Fault::Kind::dropBeforeAnswer:
      case Fault::Kind::dropMidUpload:
        shutDownConnections(port, request.remote_port);
        return;
      case Fault::Kind::stall:
      case Fault::Kind::dropMidBody:
        break;
    }
  }

  Response answer;
  if (handler) {
    answer = handler(snapshot);
  } else {
    answer.status = 404;
    answer.body = "no route for " + snapshot.method + " " + snapshot.path;
    answer.contentType = "text/plain";
  }
  response.status = answer.status;
  for (const auto& header : answer.headers) response.set_header(header.name, header.value);

  if (fault && fault->kind == Fault::Kind::dropMidBody) {
    constexpr std::size_t kSmallest = 128 * 1024;
    auto payload = std::make_shared<std::string>(answer.body.size() >= kSmallest ? answer.body : std::string(kSmallest, 'x'));
    response.set_content_provider(payload->size(), answer.contentType,
                                  [payload](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                    if (offset != 0) return false;  // abort: the client sees a cut body
                                    sink.write(payload->data(), payload->size() / 2);
                                    return true;
                                  });
    return;
  }
  if (!answer.bodyFiles.empty()) {
    std::uint64_t total = 0;
    for (const auto& file : answer.bodyFiles) {
      std::error_code error;
      const auto size = std::filesystem::file_size(file, error);
      if (error) {
        response.status = 404;
        response.set_content("gone", "text/plain");
        return;
      }
      total += size;
    }
    struct Reader {
      std::vector<std::filesystem::path> files;
      std::size_t next = 0;
      std::ifstream current;
      std::vector<char> buffer = std::vector<char>(256 * 1024);
    };
    auto reader = std::make_shared<Reader>();
    reader->files = answer.bodyFiles;
    response.set_content_provider(static_cast<std::size_t>(total), answer.contentType,
                                  [reader](std::size_t, std::size_t, httplib::DataSink& sink) {
                                    while (!reader->current.is_open() || reader->current.peek() == EOF) {
                                      if (reader->next == reader->files.size()) return false;
                                      reader->current = std::ifstream(reader->files[reader->next++], std::ios::binary);
                                      if (!reader->current) return false;
                                    }
                                    reader->current.read(reader->buffer.data(),
                                                         static_cast<std::streamsize>(reader->buffer.size()));
                                    const auto count = reader->current.gcount();
                                    return count > 0 && sink.write(reader->buffer.data(), static_cast<std::size_t>(count));
                                  });
    return;
  }
  // Moved rather than copied in: an answer may be tens of megabytes.
  response.body = std::move(answer.body);
  response.set_header("Content-Type", answer.contentType);
}

HttpsServer::HttpsServer(Scheme scheme) : HttpsServer(Options{scheme, nullptr, 0, true}) {}

HttpsServer::HttpsServer(Options options) : impl_(std::make_unique<Impl>()) {
  // A client that hangs up mid-answer must not kill the process.
  ::signal(SIGPIPE, SIG_IGN);
  impl_->owner = this;
  impl_->scheme = options.scheme;
  impl_->records = options.recordsRequests;
  impl_->authority = options.authority;
  if (options.scheme == Scheme::https) {
    const CertificateAuthority& authority = impl_->authority ? *impl_->authority : CertificateAuthority::ephemeral();
    impl_->server = std::make_unique<httplib::SSLServer>([&authority](SSL_CTX& context) {
      SSL_CTX_set_min_proto_version(&context, TLS1_2_VERSION);
      return SSL_CTX_use_certificate(&context, authority.serverCertificate()) == 1 &&
             SSL_CTX_use_PrivateKey(&context, authority.serverKey()) == 1 &&
             SSL_CTX_add1_chain_cert(&context, authority.authority()) == 1;
    });
  } else {
    impl_->server = std::make_unique<httplib::Server>();
  }
  httplib::Server& server = *impl_->server;
  if (!server.is_valid()) throw std::runtime_error("the server could not be set up");
  // The library would also share the port (SO_REUSEPORT), letting a second server bind a port that
  // is in use and take half its connections: reuse the address only.
  Impl* impl = impl_.get();
  server.set_socket_options([impl](socket_t socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    impl->listeningSocket = socket;
  });
  server.set_keep_alive_max_count(1000);
  server.set_tcp_nodelay(true);
  // A worker serves one connection for as long as it is kept alive, idle or not. A client with 16
  // requests in flight, the connections it keeps pooled and the storage PUTs that may share this
  // server need more than the library's max(8, cores - 1): beyond them a connection waits for one
  // to idle out (seconds). Idle workers cost little.
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };

  const auto plain = [impl](const httplib::Request& request, httplib::Response& response) {
    impl->handle(request, response, nullptr);
  };
  const auto withBody = [impl](const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& reader) { impl->handle(request, response, &reader); };
  server.Get(".*", plain);
  server.Options(".*", plain);
  server.Post(".*", withBody);
  server.Put(".*", withBody);
  server.Patch(".*", withBody);
  server.Delete(".*", withBody);

  int port = 0;
  if (options.port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
  } else if (server.bind_to_port("127.0.0.1", options.port)) {
    port = options.port;
  }
  if (port <= 0) {
    throw std::runtime_error(options.port == 0 ? std::string("no free port on 127.0.0.1")
                                               : "port " + std::to_string(options.port) + " on 127.0.0.1 is taken");
  }
  // The library listens with a backlog of 5: a client opening more connections at once (files in
  // flight, each with its own) had the rest of its handshakes dropped and sent again a second later.
  ::listen(impl_->listeningSocket, SOMAXCONN);
  port_ = static_cast<std::uint16_t>(port);
  impl_->port = port_;
  impl_->listening = std::async(std::launch::async, [impl] { impl->server->listen_after_bind(); });
  // stop() does nothing to a server that is not running yet, so a server stopped at once would
  // then listen for ever; wait until it runs.
  while (!server.is_running() &&
         impl_->listening.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
  }
}

HttpsServer::~HttpsServer() { stop(); }

void HttpsServer::stop() {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->stopped) return;
    impl_->stopped = true;
    impl_->stopping = true;
  }
  impl_->changed.notify_all();
  impl_->server->stop();
  // Kept-alive and stalled connections would hold the server's workers for seconds; cut them.
  do {
    // A stop that lands before the listening thread has started is lost; ask again until it ends.
    impl_->server->stop();
    shutDownConnections(port_, std::nullopt);
  } while (impl_->listening.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready);
}

platform::Url HttpsServer::url(std::string_view pathAndQuery) const {
  const std::string scheme = impl_->scheme == Scheme::https ? "https" : "http";
  auto url = platform::Url::parse(scheme + "://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery));
  if (!url) throw std::invalid_argument("not a path and query: " + std::string(pathAndQuery));
  return *url;
}

platform::Url HttpsServer::localhostUrl(std::string_view pathAndQuery) const {
  const std::string scheme = impl_->scheme == Scheme::https ? "https" : "http";
  auto url = platform::Url::parse(scheme + "://localhost:" + std::to_string(port_) + std::string(pathAndQuery));
  if (!url) throw std::invalid_argument("not a path and query: " + std::string(pathAndQuery));
  return *url;
}

void HttpsServer::setKeepAliveTimeout(std::chrono::seconds timeout) {
  impl_->server->set_keep_alive_timeout(static_cast<time_t>(timeout.count()));
}

void HttpsServer::route(std::string method, std::string pathPattern, Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->routes.push_back(Route{std::move(method), std::regex(pathPattern), std::move(handler)});
}

void HttpsServer::setBodySpool(std::filesystem::path directory, std::string pathPattern) {
  std::lock_guard lock(impl_->mutex);
  impl_->spoolDirectory = std::move(directory);
  impl_->spoolPattern.emplace(pathPattern);
}

void HttpsServer::refuseBodiesOver(std::uint64_t bytes, std::string pathPattern) {
  std::lock_guard lock(impl_->mutex);
  impl_->ceilings.push_back(BodyCeiling{std::regex(pathPattern), bytes});
}

void HttpsServer::addFault(std::string method, std::string pathPattern, std::size_t requestNumber, Fault fault) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.push_back(ScheduledFault{std::move(method), std::regex(pathPattern), requestNumber, fault, 0});
}

std::vector<RecordedRequest> HttpsServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->recorded;
}

std::size_t HttpsServer::requestCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->recorded.size();
}

bool HttpsServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->recorded.size() >= count; });
}

bool HttpsServer::waitForRequestsStarted(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->started >= count; });
}

void HttpsServer::clearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->recorded.clear();
  impl_->started = 0;
}

std::string sha256OfFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  Sha256 digest;
  std::vector<char> buffer(1 << 20);
  while (file) {
    file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    digest.update(buffer.data(), static_cast<std::size_t>(file.gcount()));
  }
  return digest.finish();
}

std::string sha256Of(std::string_view bytes) {
  Sha256 digest;
  digest.update(bytes.data(), bytes.size());
  return digest.finish();
}

}  // namespace tavrel::localservice
