#include "platform/curl_transport.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace tavrel::platform {
namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

constexpr long kUploadBufferSize = 2 * 1024 * 1024;  // libcurl's largest
constexpr long kSmallestUploadBuffer = 16 * 1024;    // and its smallest

long uploadBufferSizeFor(std::uint64_t bodySize) {
  return static_cast<long>(std::clamp<std::uint64_t>(bodySize, kSmallestUploadBuffer, kUploadBufferSize));
}
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr int kLongestPollMilliseconds = 1000;

TransportError makeError(TransportErrorCode code, std::string message) {
  return TransportError{code, std::move(message)};
}

bool isTokenCharacter(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, isTokenCharacter);
}

// Header values may not carry anything that ends a line or the string: that would let a value
// smuggle another header or request onto the wire.
bool isSafeHeaderValue(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

bool isRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

TransportErrorCode classify(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return TransportErrorCode::timedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return TransportErrorCode::cannotConnect;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
      return TransportErrorCode::tlsFailure;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_WEIRD_SERVER_REPLY:
      return TransportErrorCode::connectionLost;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return TransportErrorCode::invalidRequest;
    default:
      return TransportErrorCode::other;
  }
}

std::once_flag globalInitOnce;

// One attempt's state, shared with libcurl's callbacks on the sending thread.
struct Attempt {
  std::stop_token stopToken;
  const UploadProgress* progress = nullptr;
  std::chrono::milliseconds idleTimeout{};
  SteadyTime lastActivity{};
  curl_off_t lastSent = 0;
  curl_off_t lastReceived = 0;

  // Body source: memory or a file descriptor, `bodySize` bytes from `bodyStart`.
  const std::string* memoryBody = nullptr;
  int fileDescriptor = -1;
  std::uint64_t bodyStart = 0;
  std::uint64_t bodySize = 0;
  std::uint64_t bodyPosition = 0;

  bool cancelled = false;
  bool timedOut = false;
  bool fileFailed = false;
  bool networkChanged = false;
  // The final answer's status line has arrived: the server has taken the request.
  bool answerStarted = false;

  std::vector<HttpHeader> responseHeaders;
  std::string responseBody;

  bool idleTooLong(SteadyTime now) const { return now - lastActivity >= idleTimeout; }
};

size_t readBody(char* buffer, size_t size, size_t count, void* context) {
  auto& attempt = *static_cast<Attempt*>(context);
  const std::uint64_t wanted = std::min<std::uint64_t>(size * count, attempt.bodySize - attempt.bodyPosition);
  if (wanted == 0) return 0;
  if (attempt.memoryBody) {
    std::memcpy(buffer, attempt.memoryBody->data() + attempt.bodyPosition, wanted);
    attempt.bodyPosition += wanted;
    return wanted;
  }
  const ssize_t got = ::pread(attempt.fileDescriptor, buffer, wanted,
                              static_cast<off_t>(attempt.bodyStart + attempt.bodyPosition));
  if (got <= 0) {
    // The file shrank or failed under us: sending fewer bytes than announced would corrupt the upload.
    if (got < 0 && errno == EINTR) return readBody(buffer, size, count, context);
    attempt.fileFailed = true;
    return CURL_READFUNC_ABORT;
  }
  attempt.bodyPosition += static_cast<std::uint64_t>(got);
  return static_cast<size_t>(got);
}

int seekBody(void* context, curl_off_t offset, int origin) {
  auto& attempt = *static_cast<Attempt*>(context);
  if (origin != SEEK_SET || offset < 0 || static_cast<std::uint64_t>(offset) > attempt.bodySize) {
    return CURL_SEEKFUNC_CANTSEEK;
  }
  attempt.bodyPosition = static_cast<std::uint64_t>(offset);
  return CURL_SEEKFUNC_OK;
}

// Room for the whole answer at its first bytes, as its Content-Length announces it (up to 64 MiB):
// an answer that lists every file of a large transfer would otherwise double its way up, holding
// the old copy beside the new one each time.
void reserveAnnouncedLength(Attempt& attempt) {
  constexpr std::uint64_t most = 64ULL << 20;
  const auto isContentLength = [](std::string_view name) {
    return name.size() == 14 && std::equal(name.begin(), name.end(), "content-length", [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == b;
           });
  };
  for (const auto& header : attempt.responseHeaders) {
    if (!isContentLength(header.name)) continue;
    std::uint64_t length = 0;
    const char* last = header.value.data() + header.value.size();
    const auto [end, error] = std::from_chars(header.value.data(), last, length);
    if (error == std::errc() && end == last) {
      attempt.responseBody.reserve(static_cast<std::size_t>(std::min(length, most)));
    }
    return;
  }
}

size_t receiveBody(char* data, size_t size, size_t count, void* context) {
  auto& attempt = *static_cast<Attempt*>(context);
  if (attempt.responseBody.empty()) reserveAnnouncedLength(attempt);
  attempt.responseBody.append(data, size * count);
  attempt.lastActivity = std::chrono::steady_clock::now();
  return size * count;
}

size_t receiveHeader(char* data, size_t size, size_t count, void* context) {
  auto& attempt = *static_cast<Attempt*>(context);
  attempt.lastActivity = std::chrono::steady_clock::now();
  std::string_view line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    // A new status line (after 100 Continue, say): only the final answer's headers count.
    attempt.responseHeaders.clear();
    const std::size_t space = line.find(' ');
    if (space != std::string_view::npos && space + 1 < line.size() && line[space + 1] != '1') {
      attempt.answerStarted = true;
    }
    return size * count;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return size * count;
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  attempt.responseHeaders.push_back(HttpHeader{std::string(line.substr(0, colon)), std::string(value)});
  return size * count;
}

int onTransferInfo(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto& attempt = *static_cast<Attempt*>(context);
  if (attempt.stopToken.stop_requested()) {
    attempt.cancelled = true;
    return 1;
  }
  const SteadyTime now = std::chrono::steady_clock::now();
  if (sent != attempt.lastSent || received != attempt.lastReceived) {
    attempt.lastActivity = now;
    if (sent != attempt.lastSent && attempt.progress && *attempt.progress) {
      (*attempt.progress)(static_cast<std::uint64_t>(sent), attempt.bodySize);
    }
    attempt.lastSent = sent;
    attempt.lastReceived = received;
  } else if (attempt.idleTooLong(now)) {
    attempt.timedOut = true;
    return 1;
  }
  return 0;
}

// libcurl sets keepalive idle and interval itself; the probe count and the user timeout are ours.
int tuneSocket(void* context, curl_socket_t socket, curlsocktype purpose) {
  if (purpose != CURLSOCKTYPE_IPCXN) return CURL_SOCKOPT_OK;
  const auto& times = *static_cast<const DeadConnectionTimes*>(context);
  const int probes = times.keepaliveProbes;
  const auto userTimeout = static_cast<unsigned int>(times.userTimeout.count());
  // Not fatal where refused: the request's idle timeout still bounds the wait.
  ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
  return CURL_SOCKOPT_OK;
}

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlHandleDeleter {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

bool methodSendsEmptyBody(std::string_view method) {
  return method == "POST" || method == "PUT" || method == "PATCH";
}

}  // namespace

struct CurlTransport::Shared {
  CURLSH* share = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
  std::string certificateAuthorityFile;
  DeadConnectionTimes deadConnectionTimes;

  // Idle transfer slots: a multi handle with the connections it keeps alive, and the easy handle
  // that last used them, with its buffers and the options every request shares. libcurl does not
  // support one connection pool shared by concurrent threads, so each send() borrows a slot of its
  // own and gives it back when done; the next request then reuses that slot's connections and handle.
  struct Slot {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
  };
  // As many as an upload run keeps requests in flight, so that none of them opens a connection
  // again for want of a kept one (each new one costs a round trip or two on a real link).
  static constexpr std::size_t kMostIdleSlots = 32;
  class BorrowedSlot;
  std::mutex idleMutex;
  std::vector<Slot> idleSlots;
  // Slots lent out, so that a change of network can wake their requests; guarded by idleMutex.
  std::vector<BorrowedSlot*> borrowedSlots;
  // Counts changes of network; written under idleMutex. Connections made before the last change
  // are never used again.
  std::atomic<std::uint64_t> network{0};

  static void destroy(Slot slot) {
    if (slot.easy) curl_easy_cleanup(slot.easy);
    if (slot.multi) curl_multi_cleanup(slot.multi);
  }

  // A slot borrowed from the idle list for one send().
  class BorrowedSlot {
   public:
    explicit BorrowedSlot(Shared& shared) : shared_(shared) {
      std::lock_guard lock(shared_.idleMutex);
      if (!shared_.idleSlots.empty()) {
        slot_ = shared_.idleSlots.back();
        shared_.idleSlots.pop_back();
      }
      if (!slot_.multi) slot_.multi = curl_multi_init();
      network_ = shared_.network.load();
      shared_.borrowedSlots.push_back(this);
    }
    ~BorrowedSlot() {
      {
        std::lock_guard lock(shared_.idleMutex);
        std::erase(shared_.borrowedSlots, this);
        // Connections of a network left behind are not kept.
        if (slot_.multi && network_ == shared_.network.load() && shared_.idleSlots.size() < kMostIdleSlots) {
          shared_.idleSlots.push_back(slot_);
          return;
        }
      }
      destroy(slot_);
    }
    BorrowedSlot(const BorrowedSlot&) = delete;
    BorrowedSlot& operator=(const BorrowedSlot&) = delete;

    CURLM* multi() const { return slot_.multi; }
    // The change of network this slot's connections belong to.
    std::uint64_t network() const { return network_; }
    // Starts over with no connections if the network changed since they were made.
    void renewIfNetworkChanged() {
      if (network_ == shared_.network.load()) return;
      Slot old;
      {
        std::lock_guard lock(shared_.idleMutex);
        old = std::exchange(slot_, Slot{curl_multi_init(), nullptr});
        network_ = shared_.network.load();
      }
      destroy(old);
    }
    // Under idleMutex: ends the wait of the request on this slot, if any, so it sees the change.
    void wake() const {
      if (slot_.multi) curl_multi_wakeup(slot_.multi);
    }
    // The slot's easy handle with the shared options set; made on first use. Null when it cannot be.
    CURL* easy() {
      if (!slot_.easy) {
        slot_.easy = curl_easy_init();
        if (slot_.easy) shared_.applyFixedOptions(slot_.easy);
      }
      return slot_.easy;
    }
    // Back to libcurl's defaults plus the shared options; connections are the multi handle's.
    void resetEasy() {
      if (!slot_.easy) return;
      curl_easy_reset(slot_.easy);
      shared_.applyFixedOptions(slot_.easy);
    }
    // A handle whose request was cut short is not lent again: nothing of that request may linger.
    void discardEasy() {
      if (slot_.easy) curl_easy_cleanup(std::exchange(slot_.easy, nullptr));
    }

   private:
    Shared& shared_;
    Slot slot_;
    std::uint64_t network_ = 0;
  };

  void applyFixedOptions(CURL* e) const;

  // Closes every kept connection and wakes the requests in flight, which give up unless their
  // answer has begun to arrive.
  void networkChanged() {
    std::vector<Slot> closing;
    {
      std::lock_guard lock(idleMutex);
      network.fetch_add(1);
      closing.swap(idleSlots);
      for (const BorrowedSlot* borrowed : borrowedSlots) borrowed->wake();
    }
    for (const Slot& slot : closing) destroy(slot);
  }

  ~Shared() {
    for (const Slot& slot : idleSlots) destroy(slot);
    if (share) curl_share_cleanup(share);
  }

  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* context) {
    static_cast<Shared*>(context)->locks[static_cast<std::size_t>(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* context) {
    static_cast<Shared*>(context)->locks[static_cast<std::size_t>(data)].unlock();
  }
};

void CurlTransport::Shared::applyFixedOptions(CURL* e) const {
  curl_easy_setopt(e, CURLOPT_SHARE, share);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
  curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!certificateAuthorityFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, certificateAuthorityFile.c_str());
  curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferSize);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(e, CURLOPT_TCP_KEEPIDLE, static_cast<long>(deadConnectionTimes.keepaliveIdle.count()));
  curl_easy_setopt(e, CURLOPT_TCP_KEEPINTVL, static_cast<long>(deadConnectionTimes.keepaliveInterval.count()));
  curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &tuneSocket);
  curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, &deadConnectionTimes);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &receiveBody);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &receiveHeader);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &onTransferInfo);
  curl_easy_setopt(e, CURLOPT_READFUNCTION, &readBody);
  curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &seekBody);
}

CurlTransport::CurlTransport(RedirectDecider allowsRedirect, CurlTransportOptions options)
    : allowsRedirect_(std::move(allowsRedirect)), options_(std::move(options)), shared_(std::make_unique<Shared>()) {
  std::call_once(globalInitOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (options_.certificateAuthorityFile) {
    shared_->certificateAuthorityFile = options_.certificateAuthorityFile->string();
  } else if (const char* fromEnvironment = std::getenv("SSL_CERT_FILE"); fromEnvironment && *fromEnvironment) {
    // libcurl pins its own default bundle, so the variable OpenSSL would honour has to be passed on.
    shared_->certificateAuthorityFile = fromEnvironment;
  }
  shared_->share = curl_share_init();
  curl_share_setopt(shared_->share, CURLSHOPT_LOCKFUNC, &Shared::lock);
  curl_share_setopt(shared_->share, CURLSHOPT_UNLOCKFUNC, &Shared::unlock);
  curl_share_setopt(shared_->share, CURLSHOPT_USERDATA, shared_.get());
  curl_share_setopt(shared_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  curl_share_setopt(shared_->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  shared_->deadConnectionTimes = options_.deadConnectionTimes;
  if (options_.networkMonitor) {
    networkObservation_ = options_.networkMonitor->observeChanges([shared = shared_.get()] { shared->networkChanged(); });
  }
}

CurlTransport::~CurlTransport() {
  // Before the pool goes: no change may reach it half destroyed.
  networkObservation_.reset();
}

namespace {

struct PreparedBody {
  const std::string* memory = nullptr;
  FileDescriptor file;
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  bool present = false;
};

Expected<Unit, TransportError> prepareBody(const HttpBody& body, std::string_view method, PreparedBody& prepared) {
  static const std::string kEmpty;
  if (const auto* text = std::get_if<std::string>(&body)) {
    prepared.memory = text;
    prepared.size = text->size();
    prepared.present = true;
  } else if (const auto* range = std::get_if<FileRange>(&body)) {
    const int fd = openUnchangedFile(range->path, range->identity);
    if (fd < 0) {
      const int error = errno;
      const auto code = error == ELOOP || error == ESTALE ? TransportErrorCode::fileChanged : TransportErrorCode::fileUnreadable;
      return unexpected(makeError(code, std::string("cannot open body file: ") + std::strerror(error)));
    }
    prepared.file.reset(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      return unexpected(makeError(TransportErrorCode::fileUnreadable, "body file is not a regular file"));
    }
    const auto fileSize = static_cast<std::uint64_t>(status.st_size);
    if (range->offset > fileSize) {
      return unexpected(makeError(TransportErrorCode::fileUnreadable, "body range starts past the end of the file"));
    }
    const std::uint64_t available = fileSize - range->offset;
    if (range->length && *range->length > available) {
      return unexpected(makeError(TransportErrorCode::fileUnreadable, "body range runs past the end of the file"));
    }
    prepared.start = range->offset;
    prepared.size = range->length.value_or(available);
    prepared.present = true;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, static_cast<off_t>(prepared.start), static_cast<off_t>(prepared.size), POSIX_FADV_SEQUENTIAL);
#endif
  } else if (methodSendsEmptyBody(method)) {
    prepared.memory = &kEmpty;
    prepared.present = true;
  }
  return Unit{};
}

}  // namespace

Expected<HttpResponse, TransportError> CurlTransport::send(const HttpRequest& request, std::stop_token stopToken,
                                                           UploadProgress progress) {
  // Refuse before anything reaches the wire.
  if (!isToken(request.method)) {
    return unexpected(makeError(TransportErrorCode::invalidRequest, "invalid method"));
  }
  for (const HttpHeader& header : request.headers) {
    if (!isToken(header.name) || !isSafeHeaderValue(header.value)) {
      return unexpected(makeError(TransportErrorCode::invalidRequest, "invalid header name or value"));
    }
  }
  if (stopToken.stop_requested()) return unexpected(makeError(TransportErrorCode::cancelled, "cancelled"));

  Url url = request.url;
  std::string method = request.method;
  std::vector<HttpHeader> headers = request.headers;
  // The caller's body is sent from where it lies: a part held in memory is not copied again. Only a
  // redirect that drops the body swaps in an empty one.
  const HttpBody noBody;
  const HttpBody* body = &request.body;
  // Every hop of one request goes through the same handle, so a followed redirect reuses the
  // connection it came on.
  Shared::BorrowedSlot slot(*shared_);
  if (!slot.multi()) return unexpected(makeError(TransportErrorCode::other, "cannot create a transfer"));

  for (int redirects = 0;; ++redirects) {
    // A stop that lands while a redirect answer comes in must not let the next hop go out.
    if (stopToken.stop_requested()) return unexpected(makeError(TransportErrorCode::cancelled, "cancelled"));
    if (url.scheme() != "https" && url.scheme() != "http") {
      return unexpected(makeError(TransportErrorCode::invalidRequest, "only http and https are supported"));
    }
    if (url.host().empty()) return unexpected(makeError(TransportErrorCode::invalidRequest, "address has no host"));

    PreparedBody prepared;
    if (auto prepareResult = prepareBody(*body, method, prepared); !prepareResult) {
      return unexpected(prepareResult.error());
    }

    Attempt attempt;
    attempt.stopToken = stopToken;
    attempt.progress = &progress;
    attempt.idleTimeout = std::max(request.idleTimeout, std::chrono::milliseconds(1));
    attempt.lastActivity = std::chrono::steady_clock::now();
    attempt.memoryBody = prepared.memory;
    attempt.fileDescriptor = prepared.file.get();
    attempt.bodyStart = prepared.start;
    attempt.bodySize = prepared.size;

    // A hop after a change of network, or a slot borrowed just before one, starts on new connections.
    slot.renewIfNetworkChanged();
    const std::uint64_t attemptNetwork = slot.network();
    CURL* e = slot.easy();
    if (!e) return unexpected(makeError(TransportErrorCode::other, "cannot create a transfer"));
    // libcurl counts the resends after a kept-alive connection turned out dead over the handle's
    // whole life, and gives up on the sixth: a program that runs for days meets that many servers
    // closing idle connections. A reset starts the count again for each request (the connections
    // stay in the slot's multi handle, the name lookups and TLS sessions in the share).
    slot.resetEasy();

    // Everything a request of its own sets, set every time.
    const std::string urlText = url.toString();
    curl_easy_setopt(e, CURLOPT_URL, urlText.c_str());
    // Offered only where asked: storage bodies never, small service answers cost more to pack than
    // they save.
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, request.offersGzip ? "gzip" : nullptr);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(attempt.idleTimeout.count()));
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &attempt);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &attempt);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &attempt);
    curl_easy_setopt(e, CURLOPT_READDATA, &attempt);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, &attempt);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 0L);
    // Back to a plain GET before the method is chosen: this also turns off upload and no-body.
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));

    if (prepared.present) {
      curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
      curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(prepared.size));
      // A body's buffer sized to the body: an idle handle then keeps a small file's few kilobytes
      // rather than the two mebibytes a part needs.
      curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, uploadBufferSizeFor(prepared.size));
      if (method != "PUT") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
    } else if (method == "HEAD") {
      curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
      curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
    }

    curl_slist* rawList = nullptr;
    std::unique_ptr<curl_slist, SlistDeleter> headerList;
    // An upload waits for "100 Continue" otherwise, costing a round trip (or a second) per request.
    rawList = curl_slist_append(rawList, "Expect:");
    for (const HttpHeader& header : headers) {
      // "Name:" would tell libcurl to drop the header; "Name;" sends it with an empty value.
      const std::string line = header.value.empty() ? header.name + ";" : header.name + ": " + header.value;
      rawList = curl_slist_append(rawList, line.c_str());
    }
    headerList.reset(rawList);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());

    // A stop wakes the poll below at once instead of waiting for libcurl's next progress call.
    CURLM* m = slot.multi();
    curl_multi_add_handle(m, e);
    CURLcode result = CURLE_OK;
    {
      std::stop_callback wake(stopToken, [m] { curl_multi_wakeup(m); });
      int running = 1;
      while (true) {
        if (curl_multi_perform(m, &running) != CURLM_OK) {
          result = CURLE_FAILED_INIT;
          break;
        }
        if (running == 0) {
          int queued = 0;
          while (CURLMsg* message = curl_multi_info_read(m, &queued)) {
            if (message->msg == CURLMSG_DONE) result = message->data.result;
          }
          break;
        }
        if (stopToken.stop_requested()) {
          attempt.cancelled = true;
          break;
        }
        // The connection may lead nowhere now. An answer under way is let finish: the server has
        // the request, and sending it again would repeat it.
        if (shared_->network.load() != attemptNetwork && !attempt.answerStarted) {
          attempt.networkChanged = true;
          break;
        }
        const SteadyTime now = std::chrono::steady_clock::now();
        if (attempt.idleTooLong(now)) {
          attempt.timedOut = true;
          break;
        }
        const auto untilIdle = std::chrono::duration_cast<std::chrono::milliseconds>(
            attempt.lastActivity + attempt.idleTimeout - now);
        const int wait = static_cast<int>(std::clamp<long long>(untilIdle.count() + 1, 1, kLongestPollMilliseconds));
        curl_multi_poll(m, nullptr, 0, wait, nullptr);
      }
    }
    if (attempt.cancelled || attempt.timedOut || attempt.networkChanged) {
      // A connection left mid-request must never go back to the shared pool: the next request on
      // it would be written after a half-sent body, to a peer that may no longer be reading.
      curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    }
    curl_multi_remove_handle(m, e);
    // The handle's own state after a cut-short request is not worth trusting with the next one.
    struct DiscardIfCut {
      Shared::BorrowedSlot& slot;
      bool cut;
      ~DiscardIfCut() {
        if (cut) slot.discardEasy();
      }
    } discardIfCut{slot, attempt.cancelled || attempt.timedOut || attempt.networkChanged || result != CURLE_OK};

    if (attempt.cancelled || (stopToken.stop_requested() && result != CURLE_OK)) {
      return unexpected(makeError(TransportErrorCode::cancelled, "cancelled"));
    }
    if (attempt.timedOut) {
      return unexpected(makeError(TransportErrorCode::timedOut, "no data moved within the idle timeout"));
    }
    if (attempt.networkChanged) {
      return unexpected(makeError(TransportErrorCode::networkChanged, "the network changed before an answer came"));
    }
    if (attempt.fileFailed) {
      // A file cut short under us was most likely edited: say so when it is no longer the one given.
      if (const auto* range = std::get_if<FileRange>(body);
          range && range->identity && !isUnchangedFile(prepared.file.get(), *range->identity)) {
        return unexpected(makeError(TransportErrorCode::fileChanged, "body file changed while it was sent"));
      }
      return unexpected(makeError(TransportErrorCode::fileUnreadable, "body file could not be read in full"));
    }
    if (result != CURLE_OK) {
      return unexpected(makeError(classify(result), curl_easy_strerror(result)));
    }
    // Bytes read from a file that was edited meanwhile are a mix of two versions, whatever the
    // server made of them.
    if (const auto* range = std::get_if<FileRange>(body);
        range && range->identity && !isUnchangedFile(prepared.file.get(), *range->identity)) {
      return unexpected(makeError(TransportErrorCode::fileChanged, "body file changed while it was sent"));
    }

    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    HttpResponse response;
    response.status = static_cast<int>(status);
    response.headers = std::move(attempt.responseHeaders);
    response.body = std::move(attempt.responseBody);
    response.url = url;

    if (!isRedirectStatus(response.status)) return response;
    char* redirectText = nullptr;
    curl_easy_getinfo(e, CURLINFO_REDIRECT_URL, &redirectText);
    std::optional<Url> target = redirectText ? Url::parse(redirectText) : std::nullopt;
    if (!target || !allowsRedirect_ || !allowsRedirect_(url, *target)) return response;
    if (redirects >= options_.maximumRedirects) {
      return unexpected(makeError(TransportErrorCode::tooManyRedirects, "too many redirects"));
    }

    const bool dropsBody = (response.status == 303 && method != "HEAD") ||
                           ((response.status == 301 || response.status == 302) && method == "POST");
    if (dropsBody) {
      method = "GET";
      body = &noBody;
      std::erase_if(headers, [](const HttpHeader& header) {
        return equalsIgnoringCase(header.name, "Content-Type") || equalsIgnoringCase(header.name, "Content-Length");
      });
    }
    if (!(target->origin() == url.origin())) {
      std::erase_if(headers, [](const HttpHeader& header) {
        return equalsIgnoringCase(header.name, "Authorization") || equalsIgnoringCase(header.name, "Cookie");
      });
    }
    url = *target;
  }
}

}  // namespace tavrel::platform
