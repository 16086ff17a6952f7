#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tavrel::platform {

namespace {

// How long one client may take to send its whole message, from its connection on.
constexpr auto clientTimeLimit = std::chrono::seconds(2);
// Clients read at the same time; when more come, the one waiting longest is dropped to make room,
// so connections left open never keep a real start out.
constexpr std::size_t maximumReadingClients = 32;
// Messages waiting for the main thread; more are dropped unanswered (their starts decide again).
constexpr std::size_t maximumWaitingMessages = 64;

Unexpected<SingleInstanceError> failure(SingleInstanceError::Kind kind, std::string message) {
  return unexpected(SingleInstanceError{kind, std::move(message)});
}

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

Expected<sockaddr_un, SingleInstanceError> socketAddress(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.size() >= sizeof address.sun_path) return failure(SingleInstanceError::Kind::failed, "socket path too long");
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return address;
}

void setTimeouts(int fd, std::chrono::milliseconds timeout) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Reads up to the first newline; none on error, timeout, end of stream or an over-long line.
// `ended` tells the peer's closing (or reset) apart from the other cases.
std::optional<std::string> readLine(int fd, std::size_t limit, bool* ended = nullptr) {
  std::string line;
  char buffer[1024];
  while (true) {
    const auto count = ::recv(fd, buffer, sizeof buffer, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      if (ended) *ended = count == 0 || errno == ECONNRESET;
      return std::nullopt;
    }
    const std::string_view chunk(buffer, static_cast<std::size_t>(count));
    const auto newline = chunk.find('\n');
    line.append(chunk.substr(0, newline));
    if (line.size() > limit) return std::nullopt;
    if (newline != std::string_view::npos) return line;
  }
}

bool isSameUser(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.uid == geteuid();
}

}  // namespace

Expected<std::filesystem::path, SingleInstanceError> singleInstanceSocketPath(std::string_view name) {
  const std::string fileName = std::string(name) + ".socket";
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    return std::filesystem::path(runtime) / fileName;
  }
  const std::filesystem::path folder = "/tmp/" + std::string(name) + "-" + std::to_string(geteuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return failure(SingleInstanceError::Kind::failed, systemError("mkdir"));
  }
  struct stat status{};
  if (::lstat(folder.c_str(), &status) != 0) return failure(SingleInstanceError::Kind::failed, systemError("lstat"));
  // Someone else's folder, or one others may enter, could hand us a socket they listen on.
  if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid() || (status.st_mode & 077) != 0) {
    return failure(SingleInstanceError::Kind::failed, "the channel's folder is not ours alone");
  }
  return folder / fileName;
}

namespace {

// The channel's lock, held only while a start decides and while the running program lets its socket
// go, never for a program's whole life: a start waits for it in a blocking call.
class ChannelLock {
 public:
  static Expected<ChannelLock, SingleInstanceError> acquire(const std::filesystem::path& socketPath) {
    const auto lockPath = std::filesystem::path(socketPath).replace_extension(".lock");
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return failure(SingleInstanceError::Kind::failed, systemError("open the lock"));
    while (::flock(fd, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      const auto error = systemError("flock");
      ::close(fd);
      return failure(SingleInstanceError::Kind::failed, error);
    }
    return ChannelLock(fd);
  }

  ChannelLock(ChannelLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ChannelLock& operator=(ChannelLock&&) = delete;
  ~ChannelLock() { release(); }

  // Closing the file lets the lock go.
  void release() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  explicit ChannelLock(int fd) : fd_(fd) {}
  int fd_;
};

enum class Exchange { answered, refused, ended, failed };

struct ExchangeResult {
  Exchange outcome;
  std::string reason;  // why, when it failed: for logs, never with the message itself
};

// Sends the message and reads the answer; `ended` when the peer closed without answering.
ExchangeResult exchange(int fd, std::string_view message, std::chrono::milliseconds timeout) {
  if (!writeAll(fd, std::string(message) + "\n")) {
    if (errno == EPIPE || errno == ECONNRESET) return {Exchange::ended, {}};
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      return {Exchange::failed, "the running instance took no message within " + std::to_string(timeout.count()) + " ms"};
    }
    return {Exchange::failed, systemError("sending to the running instance")};
  }
  bool ended = false;
  errno = 0;
  const auto answer = readLine(fd, 16, &ended);
  if (answer == std::optional<std::string>("ok")) return {Exchange::answered, {}};
  // The program asks whether we still wait: we do. Once our word is in, the message is taken; a
  // program that stopped waiting for it makes the word fail, and did not take the message.
  if (answer == std::optional<std::string>("ok?")) {
    return writeAll(fd, "yes\n") ? ExchangeResult{Exchange::answered, {}} : ExchangeResult{Exchange::ended, {}};
  }
  if (answer == std::optional<std::string>("refused")) {
    return {Exchange::refused, "the running instance did not take the message"};
  }
  if (ended) return {Exchange::ended, {}};
  if (!answer && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    return {Exchange::failed, "the running instance did not answer within " + std::to_string(timeout.count()) + " ms"};
  }
  if (!answer && errno != 0) return {Exchange::failed, systemError("reading the running instance's answer")};
  return {Exchange::failed, "the running instance gave an unexpected answer"};
}

bool canBeFramed(std::string_view message) {
  return message.find_first_of(std::string_view("\n\0", 2)) == std::string_view::npos &&
         message.size() <= SingleInstanceServer::maximumMessageSize;
}

// A connected socket, or errno of the failed connect (ECONNREFUSED and ENOENT: nobody listens).
Expected<int, int> connectTo(const sockaddr_un& address, std::chrono::milliseconds timeout) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return unexpected(errno);
  setTimeouts(fd, timeout);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    return unexpected(error);
  }
  return fd;
}

// A start asks the program that answers, then decides again, at most this many times.
constexpr int maximumClaimAttempts = 3;

}  // namespace

SingleInstanceSocket::SingleInstanceSocket(SingleInstanceSocket&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

SingleInstanceSocket& SingleInstanceSocket::operator=(SingleInstanceSocket&& other) noexcept {
  if (this != &other) {
    close();
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

SingleInstanceSocket::~SingleInstanceSocket() { close(); }

void SingleInstanceSocket::close() {
  if (fd_ < 0) return;
  // Under the lock: between our close and our unlink, a start could find nobody listening, make its
  // own socket at the same path, and lose it to our unlink.
  auto lock = ChannelLock::acquire(path_);
  closeHoldingTheLock();
}

void SingleInstanceSocket::closeHoldingTheLock() {
  if (fd_ < 0) return;
  ::close(std::exchange(fd_, -1));
  ::unlink(path_.c_str());
}

Expected<std::variant<HandedOver, SingleInstanceSocket>, SingleInstanceError> claimSingleInstance(
    const std::filesystem::path& socketPath, std::string_view message, std::chrono::milliseconds timeout) {
  if (!canBeFramed(message)) return failure(SingleInstanceError::Kind::failed, "message cannot be sent");
  const auto address = socketAddress(socketPath);
  if (!address) return unexpected(address.error());
  for (int attempt = 0; attempt < maximumClaimAttempts; ++attempt) {
    auto lock = ChannelLock::acquire(socketPath);
    if (!lock) return unexpected(lock.error());
    if (auto connected = connectTo(*address, timeout)) {
      // Somebody listens. Its answer may wait until it serves, so the lock goes first.
      lock->release();
      const int fd = *connected;
      const auto result = exchange(fd, message, timeout);
      ::close(fd);
      if (result.outcome == Exchange::answered) return HandedOver{};
      if (result.outcome == Exchange::refused) return failure(SingleInstanceError::Kind::refused, result.reason);
      if (result.outcome == Exchange::failed) return failure(SingleInstanceError::Kind::failed, result.reason);
      continue;  // it went away (or is going) without taking the message: decide again
    } else if (connected.error() != ECONNREFUSED && connected.error() != ENOENT) {
      errno = connected.error();
      return failure(SingleInstanceError::Kind::failed, systemError("connect"));
    }
    // Nobody listens, and no other start can decide meanwhile: what is there was left by a program
    // that has gone away.
    if (::unlink(socketPath.c_str()) != 0 && errno != ENOENT) {
      return failure(SingleInstanceError::Kind::failed, systemError("unlink"));
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return failure(SingleInstanceError::Kind::failed, systemError("socket"));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
      const auto error = systemError("bind");
      ::close(fd);
      return failure(SingleInstanceError::Kind::failed, error);
    }
    ::chmod(socketPath.c_str(), 0600);
    if (::listen(fd, SOMAXCONN) != 0) {
      const auto error = systemError("listen");
      ::close(fd);
      ::unlink(socketPath.c_str());
      return failure(SingleInstanceError::Kind::failed, error);
    }
    return std::variant<HandedOver, SingleInstanceSocket>(SingleInstanceSocket(socketPath, fd));
  }
  return failure(SingleInstanceError::Kind::failed,
                 "the running instance closed the connection without taking the message, three times");
}

namespace {

// A client whose message waits for the main thread. Closing without an answer tells its start
// that the message was not taken, so it decides again.
class WaitingClient {
 public:
  explicit WaitingClient(int fd) : fd_(fd) {}
  ~WaitingClient() { ::close(fd_); }
  // Ends the connection unanswered while the descriptor stays with its queued task.
  void hangUp() const { ::shutdown(fd_, SHUT_RDWR); }
  WaitingClient(const WaitingClient&) = delete;
  WaitingClient& operator=(const WaitingClient&) = delete;

  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

// The socket's buffer always has room for the few bytes of an answer: sending never blocks.
void SingleInstanceServer::Reply::accept() {
  if (std::exchange(answered_, true)) return;
  (void)::send(fd_, "ok\n", 3, MSG_NOSIGNAL | MSG_DONTWAIT);
}

void SingleInstanceServer::Reply::refuse() {
  if (std::exchange(answered_, true)) return;
  (void)::send(fd_, "refused\n", 8, MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool SingleInstanceServer::Reply::confirm() {
  if (std::exchange(answered_, true)) return false;
  // A start that gave up has closed its end: the question fails, or goes unanswered.
  if (::send(fd_, "ok?\n", 4, MSG_NOSIGNAL | MSG_DONTWAIT) != 4) return false;
  const auto deadline = std::chrono::steady_clock::now() + confirmationTimeout_;
  pollfd readable{fd_, POLLIN, 0};
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (::poll(&readable, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) >= 0 || errno != EINTR) break;
  }
  // From here on the start's word cannot arrive any more: sending it fails on its side, so it knows
  // its message was not taken. A word that arrived before is still read below.
  ::shutdown(fd_, SHUT_RD);
  std::string word;
  char buffer[4];
  while (word.size() < sizeof buffer) {
    const auto count = ::recv(fd_, buffer, sizeof buffer - word.size(), MSG_DONTWAIT);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    word.append(buffer, static_cast<std::size_t>(count));
  }
  return word == "yes\n";
}

struct SingleInstanceServer::Shared {
  std::shared_ptr<MainQueue> queue;
  AnsweringHandler onMessage;
  bool answersProbes = true;  // an empty message is answered at once, for a plain handler
  std::chrono::milliseconds confirmationTimeout{};
  std::mutex mutex;
  bool open = true;  // guarded by mutex; cleared by the destructor on the main thread
  // Clients whose messages wait on the main queue; guarded by mutex.
  std::vector<std::weak_ptr<WaitingClient>> waiting;
};

namespace {

// A client whose message is still coming in.
struct ReadingClient {
  int fd;
  std::string received;
  TimePoint deadline;
};

// What came of reading what a client sent so far.
enum class ReadProgress { more, complete, dropped };

ReadProgress readSome(ReadingClient& client) {
  char buffer[4096];
  while (true) {
    const auto count = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadProgress::more;
    if (count <= 0) return ReadProgress::dropped;
    client.received.append(buffer, static_cast<std::size_t>(count));
    if (const auto newline = client.received.find('\n'); newline != std::string::npos) {
      client.received.resize(newline);
      return client.received.size() <= SingleInstanceServer::maximumMessageSize ? ReadProgress::complete
                                                                                 : ReadProgress::dropped;
    }
    if (client.received.size() > SingleInstanceServer::maximumMessageSize) return ReadProgress::dropped;
  }
}

}  // namespace

Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> SingleInstanceServer::start(
    SingleInstanceSocket socket, std::shared_ptr<MainQueue> queue, MessageHandler onMessage, Seams seams) {
  return startServing(
      std::move(socket), std::move(queue),
      [onMessage = std::move(onMessage)](std::string message, Reply& reply) {
        onMessage(std::move(message));
        reply.accept();
      },
      /*answersProbes=*/true, std::move(seams));
}

Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> SingleInstanceServer::start(
    SingleInstanceSocket socket, std::shared_ptr<MainQueue> queue, AnsweringHandler onMessage, Seams seams) {
  return startServing(std::move(socket), std::move(queue), std::move(onMessage), /*answersProbes=*/false,
                      std::move(seams));
}

Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> SingleInstanceServer::startServing(
    SingleInstanceSocket socket, std::shared_ptr<MainQueue> queue, AnsweringHandler onMessage, bool answersProbes,
    Seams seams) {
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) return failure(SingleInstanceError::Kind::failed, systemError("eventfd"));
  auto shared = std::make_shared<Shared>();
  shared->queue = std::move(queue);
  shared->onMessage = std::move(onMessage);
  shared->answersProbes = answersProbes;
  shared->confirmationTimeout = seams.confirmationTimeout.value_or(std::chrono::seconds(1));
  if (!seams.clock) seams.clock = std::make_shared<SteadyClock>();
  if (!seams.accept) {
    seams.accept = [](int listenFD) {
      return ::accept4(listenFD, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    };
  }
  return std::unique_ptr<SingleInstanceServer>(
      new SingleInstanceServer(std::move(socket), wake, std::move(shared), std::move(seams)));
}

SingleInstanceServer::SingleInstanceServer(SingleInstanceSocket socket, int wakeFD, std::shared_ptr<Shared> shared,
                                           Seams seams)
    : socket_(std::move(socket)), wakeFD_(wakeFD), shared_(std::move(shared)) {
  thread_ = std::jthread(&SingleInstanceServer::serve, socket_.fd_, wakeFD_, shared_, std::move(seams));
}

SingleInstanceServer::~SingleInstanceServer() {
  // The channel stays locked until the socket is gone. A start told below that its message was not
  // taken decides again only then, and finds nobody listening; without the lock it could connect
  // to the closing socket again and again, and give up while this program was still going away.
  const auto channel = ChannelLock::acquire(socket_.path());
  {
    std::lock_guard lock(shared_->mutex);
    shared_->open = false;
    // Their starts learn at once that the message was not taken, and decide again.
    for (const auto& waiting : shared_->waiting) {
      if (const auto client = waiting.lock()) client->hangUp();
    }
  }
  thread_.request_stop();
  const std::uint64_t one = 1;
  (void)!::write(wakeFD_, &one, sizeof one);
  thread_.join();
  ::close(wakeFD_);
  if (channel) {
    socket_.closeHoldingTheLock();
  } else {
    socket_.close();
  }
}

void SingleInstanceServer::serve(std::stop_token stop, int listenFD, int wakeFD, std::shared_ptr<Shared> shared,
                                 Seams seams) {
  const Clock& clock = *seams.clock;
  // Each client is read on its own, without blocking, against a limit of time and size of its own:
  // a slow or silent one delays nobody else.
  std::vector<ReadingClient> clients;
  const auto drop = [&clients](std::size_t index) {
    ::close(clients[index].fd);
    clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(index));
  };
  const auto handOver = [&shared](int fd, std::string message) {
    auto client = std::make_shared<WaitingClient>(fd);
    // An empty message only asks whether we are alive.
    if (message.empty() && shared->answersProbes) return Reply(client->fd(), {}).accept();
    {
      std::lock_guard lock(shared->mutex);
      std::erase_if(shared->waiting, [](const auto& waiting) { return waiting.expired(); });
      if (!shared->open || shared->waiting.size() >= maximumWaitingMessages) return;
      shared->waiting.push_back(client);
    }
    std::weak_ptr<Shared> weak = shared;
    shared->queue->post([weak, client, text = std::move(message)]() mutable {
      const auto target = weak.lock();
      if (!target) return;
      {
        std::lock_guard lock(target->mutex);
        if (!target->open) return;
      }
      // Only now: a program that quits before its main thread took the message closes the
      // connection unanswered instead, and the start does not take the message for delivered.
      Reply reply(client->fd(), target->confirmationTimeout);
      target->onMessage(std::move(text), reply);
      reply.refuse();  // unless the handler answered
    });
  };
  // Set while accepting is paused for want of descriptors.
  std::optional<TimePoint> acceptAgainAt;
  while (!stop.stop_requested()) {
    const auto polled = clock.now();
    if (acceptAgainAt && *acceptAgainAt <= polled) acceptAgainAt.reset();
    // A negative descriptor is left out of the poll: a paused listener does not wake us.
    std::vector<pollfd> fds{{acceptAgainAt ? -1 : listenFD, POLLIN, 0}, {wakeFD, POLLIN, 0}};
    for (const auto& client : clients) fds.push_back({client.fd, POLLIN, 0});
    std::optional<TimePoint> earliest = acceptAgainAt;
    for (const auto& client : clients) earliest = std::min(earliest.value_or(client.deadline), client.deadline);
    int timeout = -1;
    if (earliest) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*earliest - polled).count();
      timeout = static_cast<int>(std::clamp<decltype(left)>(left, 0, std::numeric_limits<int>::max()));
    }
    if (::poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0 || stop.stop_requested()) break;
    // Clients first, in the order they came; those accepted below are polled next time.
    for (std::size_t index = clients.size(); index-- > 0;) {
      if (fds[index + 2].revents == 0) continue;
      switch (readSome(clients[index])) {
        case ReadProgress::more:
          break;
        case ReadProgress::dropped:
          drop(index);
          break;
        case ReadProgress::complete: {
          const int fd = clients[index].fd;
          std::string message = std::move(clients[index].received);
          clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(index));
          handOver(fd, std::move(message));
          break;
        }
      }
    }
    const auto now = clock.now();
    for (std::size_t index = clients.size(); index-- > 0;) {
      if (clients[index].deadline <= now) drop(index);
    }
    if ((fds[0].revents & POLLIN) != 0) {
      const int client = seams.accept(listenFD);
      if (client < 0) {
        // Out of descriptors the start stays queued, and poll would report it again at once: wait
        // for some to free instead of spinning.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          acceptAgainAt = now + acceptPause;
        }
        continue;
      }
      if (!isSameUser(client)) {
        ::close(client);
        continue;
      }
      if (clients.size() >= maximumReadingClients) {
        const auto oldest = std::min_element(clients.begin(), clients.end(), [](const auto& left, const auto& right) {
          return left.deadline < right.deadline;
        });
        drop(static_cast<std::size_t>(oldest - clients.begin()));
      }
      clients.push_back({client, {}, now + clientTimeLimit});
    }
  }
  for (const auto& client : clients) ::close(client.fd);
}

Expected<Unit, SingleInstanceError> sendToRunningInstance(const std::filesystem::path& socketPath,
                                                          std::string_view message, std::chrono::milliseconds timeout) {
  if (!canBeFramed(message)) return failure(SingleInstanceError::Kind::failed, "message cannot be sent");
  const auto address = socketAddress(socketPath);
  if (!address) return unexpected(address.error());
  const auto connected = connectTo(*address, timeout);
  if (!connected) {
    const bool nobody = connected.error() == ECONNREFUSED || connected.error() == ENOENT;
    errno = connected.error();
    return failure(nobody ? SingleInstanceError::Kind::notRunning : SingleInstanceError::Kind::failed,
                   systemError("connect"));
  }
  const auto result = exchange(*connected, message, timeout);
  ::close(*connected);
  if (result.outcome == Exchange::ended) {
    return failure(SingleInstanceError::Kind::failed, "the running instance closed the connection without taking the message");
  }
  if (result.outcome == Exchange::refused) return failure(SingleInstanceError::Kind::refused, result.reason);
  if (result.outcome == Exchange::failed) return failure(SingleInstanceError::Kind::failed, result.reason);
  return Unit{};
}

}  // namespace tavrel::platform
