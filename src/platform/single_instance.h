#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/expected.h"
#include "platform/main_queue.h"

namespace tavrel::platform {

struct SingleInstanceError {
  enum class Kind {
    alreadyRunning,  // another live process listens on the socket
    notRunning,      // nobody listens (client side)
    failed,          // the folder, the socket or the exchange failed
  };
  Kind kind = Kind::failed;
  std::string message;  // for logs

  friend bool operator==(const SingleInstanceError&, const SingleInstanceError&) = default;
};

// Where the channel of the program called `name` lives: "$XDG_RUNTIME_DIR/<name>.socket" when the
// runtime folder is set, else "<name>.socket" in "/tmp/<name>-<uid>", a folder only we may enter
// (created 0700 when missing; refused when it belongs to someone else or others may enter it).
Expected<std::filesystem::path, SingleInstanceError> singleInstanceSocketPath(std::string_view name);

// The running program's end of the single-instance channel: a Unix socket that a second start of the
// program connects to, to hand over what it was started with (the sign-in callback address) and exit.
// Only processes of the same user are heard. One message per connection: its text and a newline;
// the answer "ok" and a newline is sent once the message has been queued for the main thread.
//
// IMPORTANT: Thread-safety. listen(), the destructor and `onMessage` belong to the main thread; the
// socket is served by a thread of its own, which posts each message to the main queue. No message is
// delivered after the server has been destroyed.
class SingleInstanceServer {
 public:
  using MessageHandler = std::function<void(std::string message)>;

  // The longest message accepted; a longer one is dropped unanswered.
  static constexpr std::size_t maximumMessageSize = 16 * 1024;

  // Fails with alreadyRunning when another process is listening; a socket left by a process that has
  // gone away is replaced.
  static Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> listen(
      const std::filesystem::path& socketPath, std::shared_ptr<MainQueue> queue, MessageHandler onMessage);

  ~SingleInstanceServer();
  SingleInstanceServer(const SingleInstanceServer&) = delete;
  SingleInstanceServer& operator=(const SingleInstanceServer&) = delete;

 private:
  struct Shared;
  SingleInstanceServer(std::filesystem::path socketPath, int listenFD, int wakeFD, std::shared_ptr<Shared> shared);
  static void serve(std::stop_token stop, int listenFD, int wakeFD, std::shared_ptr<Shared> shared);

  std::filesystem::path socketPath_;
  int listenFD_;
  int wakeFD_;
  std::shared_ptr<Shared> shared_;
  std::jthread thread_;
};

// The second start's end: hands `message` (no newline or NUL in it) to the running program and waits
// up to `timeout` for its answer. Fails with notRunning when nobody listens.
Expected<Unit, SingleInstanceError> sendToRunningInstance(const std::filesystem::path& socketPath,
                                                          std::string_view message,
                                                          std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace tavrel::platform
