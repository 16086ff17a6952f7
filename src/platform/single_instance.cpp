#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

namespace tavrel::platform {

namespace {

constexpr auto peerTimeout = std::chrono::seconds(2);

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

enum class Exchange { answered, ended, failed };

// Sends the message and reads the answer; `ended` when the peer closed without answering.
Exchange exchange(int fd, std::string_view message) {
  if (!writeAll(fd, std::string(message) + "\n")) {
    return errno == EPIPE || errno == ECONNRESET ? Exchange::ended : Exchange::failed;
  }
  bool ended = false;
  const auto answer = readLine(fd, 16, &ended);
  if (answer == std::optional<std::string>("ok")) return Exchange::answered;
  return ended ? Exchange::ended : Exchange::failed;
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
      const auto outcome = exchange(fd, message);
      ::close(fd);
      if (outcome == Exchange::answered) return std::variant<HandedOver, SingleInstanceSocket>(HandedOver{});
      if (outcome == Exchange::failed) {
        return failure(SingleInstanceError::Kind::failed, "no answer from the running instance");
      }
      continue;  // it went away without serving: decide again
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
  return failure(SingleInstanceError::Kind::failed, "the running instance keeps going away");
}

struct SingleInstanceServer::Shared {
  std::shared_ptr<MainQueue> queue;
  MessageHandler onMessage;
  std::mutex mutex;
  bool open = true;  // guarded by mutex; cleared by the destructor on the main thread
};

Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> SingleInstanceServer::start(
    SingleInstanceSocket socket, std::shared_ptr<MainQueue> queue, MessageHandler onMessage) {
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) return failure(SingleInstanceError::Kind::failed, systemError("eventfd"));
  auto shared = std::make_shared<Shared>();
  shared->queue = std::move(queue);
  shared->onMessage = std::move(onMessage);
  return std::unique_ptr<SingleInstanceServer>(new SingleInstanceServer(std::move(socket), wake, std::move(shared)));
}

SingleInstanceServer::SingleInstanceServer(SingleInstanceSocket socket, int wakeFD, std::shared_ptr<Shared> shared)
    : socket_(std::move(socket)), wakeFD_(wakeFD), shared_(std::move(shared)) {
  thread_ = std::jthread(&SingleInstanceServer::serve, socket_.fd_, wakeFD_, shared_);
}

SingleInstanceServer::~SingleInstanceServer() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->open = false;
  }
  thread_.request_stop();
  const std::uint64_t one = 1;
  (void)!::write(wakeFD_, &one, sizeof one);
  thread_.join();
  ::close(wakeFD_);
  // socket_ closes and removes its file as the last member goes.
}

void SingleInstanceServer::serve(std::stop_token stop, int listenFD, int wakeFD, std::shared_ptr<Shared> shared) {
  while (!stop.stop_requested()) {
    pollfd fds[2] = {{listenFD, POLLIN, 0}, {wakeFD, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0 || stop.stop_requested()) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int client = ::accept4(listenFD, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    setTimeouts(client, peerTimeout);
    if (isSameUser(client)) {
      if (auto message = readLine(client, maximumMessageSize)) {
        // An empty message only asks whether we are alive.
        if (!message->empty()) {
          std::weak_ptr<Shared> weak = shared;
          shared->queue->post([weak, text = std::move(*message)]() mutable {
            const auto target = weak.lock();
            if (!target) return;
            {
              std::lock_guard lock(target->mutex);
              if (!target->open) return;
            }
            target->onMessage(std::move(text));
          });
        }
        writeAll(client, "ok\n");
      }
    }
    ::close(client);
  }
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
  const bool answered = exchange(*connected, message) == Exchange::answered;
  ::close(*connected);
  if (!answered) return failure(SingleInstanceError::Kind::failed, "no answer from the running instance");
  return Unit{};
}

}  // namespace tavrel::platform
