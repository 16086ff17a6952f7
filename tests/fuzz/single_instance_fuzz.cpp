// What a later start (or any process of the same user) sends over the single-instance socket, as the
// running program's server reads it: at most one message, the text before the first newline, and
// only when it is neither empty nor longer than the limit.

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "platform/manual_main_queue.h"
#include "platform/single_instance.h"

using namespace tavrel::platform;

namespace {

struct Channel {
  std::filesystem::path folder;
  std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
  std::vector<std::string> received;
  std::unique_ptr<SingleInstanceServer> server;

  Channel() {
    char pattern[] = "/tmp/tavrel-fuzz-instance-XXXXXX";
    folder = ::mkdtemp(pattern);
    auto claimed = claimSingleInstance(folder / "fuzz.socket", "activate");
    FUZZ_CHECK(claimed.hasValue() && std::holds_alternative<SingleInstanceSocket>(*claimed));
    auto started = SingleInstanceServer::start(std::get<SingleInstanceSocket>(std::move(*claimed)), queue,
                                               [this](std::string message) { received.push_back(std::move(message)); });
    FUZZ_CHECK(started.hasValue());
    server = std::move(*started);
  }
  ~Channel() {
    server.reset();
    std::filesystem::remove_all(folder);
  }
};

Channel& channel() {
  static auto* shared = new Channel;
  static const bool removedAtExit = std::atexit([] { delete shared; }) == 0;
  (void)removedAtExit;
  return *shared;
}

int connectTo(const std::filesystem::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  FUZZ_CHECK(fd >= 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  FUZZ_CHECK(connected == 0 || errno == EINPROGRESS || errno == EAGAIN);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto& shared = channel();
  shared.received.clear();
  const int fd = connectTo(shared.folder / "fuzz.socket");
  std::string_view unsent = tavrel::fuzz::text(data, size);
  bool writing = true;
  // Sends everything (or until the server stops reading), then reads until the server closes; the
  // main queue runs meanwhile, as the program's would.
  while (true) {
    pollfd poller{fd, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
    ::poll(&poller, 1, 5);
    if (writing && (poller.revents & POLLOUT)) {
      const auto sent = unsent.empty() ? 0 : ::send(fd, unsent.data(), unsent.size(), MSG_NOSIGNAL);
      if (sent > 0) unsent.remove_prefix(static_cast<std::size_t>(sent));
      if (unsent.empty() || (sent < 0 && errno != EAGAIN && errno != EINTR)) {
        ::shutdown(fd, SHUT_WR);
        writing = false;
      }
    }
    if (poller.revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[256];
      const auto count = ::recv(fd, buffer, sizeof buffer, 0);
      if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    shared.queue->runUntilIdle();
  }
  ::close(fd);
  shared.queue->runUntilIdle();

  const auto text = tavrel::fuzz::text(data, size);
  const auto newline = text.find('\n');
  const bool delivers = newline != std::string_view::npos && newline > 0 &&
                        newline <= SingleInstanceServer::maximumMessageSize;
  FUZZ_CHECK(shared.received.size() == (delivers ? 1u : 0u));
  if (delivers) FUZZ_CHECK(shared.received.front() == text.substr(0, newline));
  return 0;
}
