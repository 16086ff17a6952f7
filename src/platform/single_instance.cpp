#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

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
std::optional<std::string> readLine(int fd, std::size_t limit) {
  std::string line;
  char buffer[1024];
  while (true) {
    const auto count = ::recv(fd, buffer, sizeof buffer, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return std::nullopt;
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

struct SingleInstanceServer::Shared {
  std::shared_ptr<MainQueue> queue;
  MessageHandler onMessage;
  std::mutex mutex;
  bool open = true;  // guarded by mutex; cleared by the destructor on the main thread
};

Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> SingleInstanceServer::listen(
    const std::filesystem::path& socketPath, std::shared_ptr<MainQueue> queue, MessageHandler onMessage) {
  const auto address = socketAddress(socketPath);
  if (!address) return unexpected(address.error());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return failure(SingleInstanceError::Kind::failed, systemError("socket"));
  const auto* raw = reinterpret_cast<const sockaddr*>(&*address);
  if (::bind(fd, raw, sizeof *address) != 0) {
    if (errno != EADDRINUSE) {
      const auto error = systemError("bind");
      ::close(fd);
      return failure(SingleInstanceError::Kind::failed, error);
    }
    // Someone listens, or a previous run left its socket behind.
    const auto probe = sendToRunningInstance(socketPath, "", std::chrono::seconds(1));
    if (probe || probe.error().kind != SingleInstanceError::Kind::notRunning) {
      ::close(fd);
      return failure(SingleInstanceError::Kind::alreadyRunning, "another instance is running");
    }
    ::unlink(socketPath.c_str());
    if (::bind(fd, raw, sizeof *address) != 0) {
      const auto error = systemError("bind");
      ::close(fd);
      return failure(SingleInstanceError::Kind::failed, error);
    }
  }
  ::chmod(socketPath.c_str(), 0600);
  if (::listen(fd, 8) != 0) {
    const auto error = systemError("listen");
    ::close(fd);
    ::unlink(socketPath.c_str());
    return failure(SingleInstanceError::Kind::failed, error);
  }
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    const auto error = systemError("eventfd");
    ::close(fd);
    ::unlink(socketPath.c_str());
    return failure(SingleInstanceError::Kind::failed, error);
  }
  auto shared = std::make_shared<Shared>();
  shared->queue = std::move(queue);
  shared->onMessage = std::move(onMessage);
  return std::unique_ptr<SingleInstanceServer>(new SingleInstanceServer(socketPath, fd, wake, std::move(shared)));
}

SingleInstanceServer::SingleInstanceServer(std::filesystem::path socketPath, int listenFD, int wakeFD,
                                           std::shared_ptr<Shared> shared)
    : socketPath_(std::move(socketPath)), listenFD_(listenFD), wakeFD_(wakeFD), shared_(std::move(shared)) {
  thread_ = std::jthread(&SingleInstanceServer::serve, listenFD_, wakeFD_, shared_);
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
  ::close(listenFD_);
  ::close(wakeFD_);
  ::unlink(socketPath_.c_str());
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
  if (message.find_first_of(std::string_view("\n\0", 2)) != std::string_view::npos ||
      message.size() > SingleInstanceServer::maximumMessageSize) {
    return failure(SingleInstanceError::Kind::failed, "message cannot be sent");
  }
  const auto address = socketAddress(socketPath);
  if (!address) return unexpected(address.error());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return failure(SingleInstanceError::Kind::failed, systemError("socket"));
  setTimeouts(fd, timeout);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    const bool nobody = errno == ECONNREFUSED || errno == ENOENT;
    const auto error = systemError("connect");
    ::close(fd);
    return failure(nobody ? SingleInstanceError::Kind::notRunning : SingleInstanceError::Kind::failed, error);
  }
  const bool answered = writeAll(fd, std::string(message) + "\n") && readLine(fd, 16) == std::optional<std::string>("ok");
  ::close(fd);
  if (!answered) return failure(SingleInstanceError::Kind::failed, "no answer from the running instance");
  return Unit{};
}

}  // namespace tavrel::platform
