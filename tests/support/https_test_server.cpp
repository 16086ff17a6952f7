#include "support/https_test_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
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
#include <regex>
#include <stdexcept>

namespace tavrel::testing {
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

void require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(std::string("test certificate authority: ") + what);
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  require(extension != nullptr, "extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

X509* makeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, bool isAuthority) {
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
  BN_free(number);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 7L * 24 * 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* signer = issuer ? issuer : certificate;
  X509_set_issuer_name(certificate, X509_get_subject_name(signer));
  addExtension(certificate, signer, NID_subject_key_identifier, "hash");
  addExtension(certificate, signer, NID_authority_key_identifier, "keyid:always");
  if (isAuthority) {
    addExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    addExtension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    addExtension(certificate, signer, NID_ext_key_usage, "serverAuth");
    addExtension(certificate, signer, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1");
  }
  require(X509_sign(certificate, issuerKey, EVP_sha256()) > 0, "signing");
  return certificate;
}

// The process's test authority and the one server certificate it signs.
struct TestAuthority {
  EVP_PKEY* authorityKey = nullptr;
  X509* authority = nullptr;
  EVP_PKEY* serverKey = nullptr;
  X509* serverCertificate = nullptr;
  std::filesystem::path pemFile;

  TestAuthority() {
    authorityKey = EVP_EC_gen("P-256");
    serverKey = EVP_EC_gen("P-256");
    require(authorityKey && serverKey, "key generation");
    authority = makeCertificate(authorityKey, "Tavrel Test Authority", nullptr, authorityKey, true);
    serverCertificate = makeCertificate(serverKey, "localhost", authority, authorityKey, false);

    std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-test-ca-XXXXXX.pem").string();
    const int fd = ::mkstemps(pattern.data(), 4);
    require(fd >= 0, "temporary file");
    FILE* file = ::fdopen(fd, "w");
    require(file && PEM_write_X509(file, authority) == 1, "writing the PEM file");
    std::fclose(file);
    pemFile = pattern;
  }
  ~TestAuthority() {
    std::error_code ignored;
    std::filesystem::remove(pemFile, ignored);
    X509_free(serverCertificate);
    X509_free(authority);
    EVP_PKEY_free(serverKey);
    EVP_PKEY_free(authorityKey);
  }
};

TestAuthority& testAuthority() {
  static TestAuthority authority;
  return authority;
}

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
  HttpsTestServer::Handler handler;
};

struct ScheduledFault {
  std::string method;
  std::regex pattern;
  std::size_t requestNumber = 0;
  Fault fault;
  std::size_t seen = 0;
};

bool methodMatches(const std::string& wanted, const std::string& method) {
  return wanted == "*" || wanted == method || (wanted == "GET" && method == "HEAD");
}

}  // namespace

const std::filesystem::path& testCertificateAuthorityFile() { return testAuthority().pemFile; }

std::optional<std::string> RecordedRequest::header(std::string_view name) const {
  for (const auto& header : headers) {
    if (equalsIgnoringCase(header.name, name)) return header.value;
  }
  return std::nullopt;
}

StandInResponse StandInResponse::json(std::string body, int status) {
  StandInResponse response;
  response.status = status;
  response.body = std::move(body);
  return response;
}

StandInResponse StandInResponse::redirect(int status, std::string location) {
  StandInResponse response;
  response.status = status;
  response.headers.push_back({"Location", std::move(location)});
  response.contentType = "text/plain";
  return response;
}

struct HttpsTestServer::Impl {
  HttpsTestServer* owner = nullptr;
  Scheme scheme = Scheme::https;
  std::unique_ptr<httplib::Server> server;
  std::future<void> listening;
  std::uint16_t port = 0;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Route> routes;
  std::vector<ScheduledFault> faults;
  std::vector<RecordedRequest> recorded;
  std::size_t started = 0;
  bool stopping = false;
  bool stopped = false;

  void handle(const httplib::Request& request, httplib::Response& response, const httplib::ContentReader* reader);
};

void HttpsTestServer::Impl::handle(const httplib::Request& request, httplib::Response& response,
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
  {
    std::lock_guard lock(mutex);
    ++started;
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
    recorded.push_back(recordedRequest);
    changed.notify_all();
    changed.wait(lock, [this] { return stopping; });
    lock.unlock();
    shutDownConnections(port, request.remote_port);
    return;
  }

  const std::uint64_t limit = owner->bodyLimit_.load();
  const bool hashes = owner->hashesBodies_.load();
  const auto expectedLength = request.get_header_value_count("Content-Length") > 0
                                  ? request.get_header_value<std::uint64_t>("Content-Length")
                                  : 0;
  const bool dropsMidUpload = fault && fault->kind == Fault::Kind::dropMidUpload;
  Sha256 digest;
  bool keeps = true;
  const auto receive = [&](const char* data, std::size_t size) {
    if (hashes) digest.update(data, size);
    recordedRequest.bodySize += size;
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

  const RecordedRequest snapshot = recordedRequest;
  {
    std::lock_guard lock(mutex);
    recorded.push_back(std::move(recordedRequest));
  }
  changed.notify_all();

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

  StandInResponse answer;
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
  response.set_content(answer.body, answer.contentType);
}

HttpsTestServer::HttpsTestServer(Scheme scheme) : impl_(std::make_unique<Impl>()) {
  // A client that hangs up mid-answer must not kill the test process.
  ::signal(SIGPIPE, SIG_IGN);
  impl_->owner = this;
  impl_->scheme = scheme;
  if (scheme == Scheme::https) {
    TestAuthority& authority = testAuthority();
    impl_->server = std::make_unique<httplib::SSLServer>([&authority](SSL_CTX& context) {
      SSL_CTX_set_min_proto_version(&context, TLS1_2_VERSION);
      return SSL_CTX_use_certificate(&context, authority.serverCertificate) == 1 &&
             SSL_CTX_use_PrivateKey(&context, authority.serverKey) == 1 &&
             SSL_CTX_add1_chain_cert(&context, authority.authority) == 1;
    });
  } else {
    impl_->server = std::make_unique<httplib::Server>();
  }
  httplib::Server& server = *impl_->server;
  if (!server.is_valid()) throw std::runtime_error("stand-in server could not be set up");
  server.set_keep_alive_max_count(1000);
  server.set_tcp_nodelay(true);

  Impl* impl = impl_.get();
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

  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) throw std::runtime_error("stand-in server could not bind a port");
  port_ = static_cast<std::uint16_t>(port);
  impl_->port = port_;
  impl_->listening = std::async(std::launch::async, [impl] { impl->server->listen_after_bind(); });
  // stop() does nothing to a server that is not running yet, so a server stopped at once would
  // then listen for ever; wait until it runs.
  while (!server.is_running() &&
         impl_->listening.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
  }
}

HttpsTestServer::~HttpsTestServer() { stop(); }

void HttpsTestServer::stop() {
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

platform::Url HttpsTestServer::url(std::string_view pathAndQuery) const {
  const std::string scheme = impl_->scheme == Scheme::https ? "https" : "http";
  auto url = platform::Url::parse(scheme + "://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery));
  if (!url) throw std::invalid_argument("not a path and query: " + std::string(pathAndQuery));
  return *url;
}

platform::Url HttpsTestServer::localhostUrl(std::string_view pathAndQuery) const {
  const std::string scheme = impl_->scheme == Scheme::https ? "https" : "http";
  auto url = platform::Url::parse(scheme + "://localhost:" + std::to_string(port_) + std::string(pathAndQuery));
  if (!url) throw std::invalid_argument("not a path and query: " + std::string(pathAndQuery));
  return *url;
}

void HttpsTestServer::route(std::string method, std::string pathPattern, Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->routes.push_back(Route{std::move(method), std::regex(pathPattern), std::move(handler)});
}

void HttpsTestServer::addFault(std::string method, std::string pathPattern, std::size_t requestNumber, Fault fault) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.push_back(ScheduledFault{std::move(method), std::regex(pathPattern), requestNumber, fault, 0});
}

std::vector<RecordedRequest> HttpsTestServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->recorded;
}

std::size_t HttpsTestServer::requestCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->recorded.size();
}

bool HttpsTestServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->recorded.size() >= count; });
}

bool HttpsTestServer::waitForRequestsStarted(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->started >= count; });
}

void HttpsTestServer::clearRequests() {
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

}  // namespace tavrel::testing
