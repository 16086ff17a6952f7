#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>

#include "platform/expected.h"
#include "platform/main_queue.h"

namespace tavrel::platform {

struct SingleInstanceError {
  enum class Kind {
    notRunning,  // nobody listens (client side)
    refused,     // the running program answered that it does not take the message (client side)
    failed,      // the folder, the socket, the lock or the exchange failed
  };
  Kind kind = Kind::failed;
  std::string message;  // for logs

  friend bool operator==(const SingleInstanceError&, const SingleInstanceError&) = default;
};

// Where the channel of the program called `name` lives: "$XDG_RUNTIME_DIR/<name>.socket" when the
// runtime folder is set, else "<name>.socket" in "/tmp/<name>-<uid>", a folder only we may enter
// (created 0700 when missing; refused when it belongs to someone else or others may enter it).
// The channel's lock file, "<name>.lock", lies beside the socket.
Expected<std::filesystem::path, SingleInstanceError> singleInstanceSocketPath(std::string_view name);

// The start's message reached the running program, which answered.
struct HandedOver {
  friend bool operator==(HandedOver, HandedOver) { return true; }
};

// The channel's socket of the start that became the running program: bound and listening, so that a
// later start already finds it and waits in its queue for an answer, but not served yet (see
// SingleInstanceServer). Dropped unserved, it closes and its file goes.
class SingleInstanceSocket {
 public:
  SingleInstanceSocket(SingleInstanceSocket&& other) noexcept;
  SingleInstanceSocket& operator=(SingleInstanceSocket&& other) noexcept;
  ~SingleInstanceSocket();

  const std::filesystem::path& path() const { return path_; }
  // The listening socket: readable once a start waits on it.
  int fd() const { return fd_; }

 private:
  friend class SingleInstanceServer;
  friend Expected<std::variant<HandedOver, SingleInstanceSocket>, SingleInstanceError> claimSingleInstance(
      const std::filesystem::path&, std::string_view, std::chrono::milliseconds);
  SingleInstanceSocket(std::filesystem::path path, int fd) : path_(std::move(path)), fd_(fd) {}
  // Closes the socket and removes its file under the channel's lock.
  void close();
  // The same, for a caller that holds the lock already.
  void closeHoldingTheLock();

  std::filesystem::path path_;
  int fd_ = -1;
};

// What every start of the program does first: under an exclusive lock on the channel's lock file,
// so that two starts at the same instant cannot both decide they are alone, it either hands `message`
// (no newline or NUL in it) to the program that listens, or, when nobody does, removes what a
// program that has gone away left and becomes the running program: it binds and listens before the
// lock is let go. The answer of the running program is awaited after the lock is let go, up to
// `timeout`; when that program ends without answering (it was starting and failed, or quit before
// its main thread took the message), the decision is taken anew, three times at most. A program that
// asks whether the start still waits (see SingleInstanceServer::Reply) is told so at once. The
// error's message says why a start failed, for the log; it never holds `message`.
Expected<std::variant<HandedOver, SingleInstanceSocket>, SingleInstanceError> claimSingleInstance(
    const std::filesystem::path& socketPath, std::string_view message,
    std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The running program's end of the single-instance channel: a later start of the program connects to
// its socket to hand over what it was started with (the sign-in callback address, or "activate") and
// exits. Only processes of the same user are heard. One message per connection: its text and a
// newline; the answer "ok" and a newline is sent only once `onMessage` has run with it on the main
// thread (an empty message only asks whether the program is alive, and is answered at once). A
// program that ends before that closes the connection unanswered, and the start decides anew
// instead of taking its message for delivered.
//
// Clients are served side by side: each has two seconds from its connection to send its whole
// message of at most maximumMessageSize bytes, or is dropped, so a silent or slow client never holds
// up another.
//
// A handler that takes a Reply answers each message itself, and may refuse it. Its starts may give
// up waiting while the message still waits for the main thread; one that did must not find its
// message taken as well, so such a handler takes a message only once the start has confirmed:
//
//   start ── message ──▶ main thread ── "ok?" ──▶ start ── "yes" ──▶ taken, the start ends
//                            │                      └─ gave up or gone: no "yes", the start does without
//                            └── "refused" ──▶ the start does without the running program
//
// The start's "yes" counts only when it reaches the socket before the program stops reading it, and
// a "yes" sent later fails on the start's side: both always agree on whether the message was taken.
//
// IMPORTANT: Thread-safety. start(), the destructor and `onMessage` belong to the main thread; the
// socket is served by a thread of its own, which posts each message to the main queue. No message is
// delivered after the server has been destroyed.
class SingleInstanceServer {
 public:
  using MessageHandler = std::function<void(std::string message)>;

  // The answer to one message, given by an answering handler while it runs.
  class Reply {
   public:
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;

    // Tells the start its message is taken, if it still waits for the answer, and waits (at most
    // Seams::confirmationTimeout) for it to confirm. True: the message is the handler's to act on,
    // and the start ends as handed over. False: it gave up or went away; the message must be
    // dropped, the start does without the running program.
    bool confirm();
    // Tells the start its message is not taken; it does without the running program.
    void refuse();

   private:
    friend class SingleInstanceServer;
    Reply(int fd, std::chrono::milliseconds confirmationTimeout) : fd_(fd), confirmationTimeout_(confirmationTimeout) {}
    // The plain handler's answer: taken, no question asked.
    void accept();

    int fd_;
    std::chrono::milliseconds confirmationTimeout_;
    bool answered_ = false;
  };
  // Gets every message, an empty one too; a message it neither confirms nor refuses counts as
  // refused.
  using AnsweringHandler = std::function<void(std::string message, Reply& reply)>;

  // The longest message accepted; a longer one is dropped unanswered.
  static constexpr std::size_t maximumMessageSize = 16 * 1024;
  // How long the server leaves waiting starts queued when it has no descriptor to take one with.
  static constexpr std::chrono::milliseconds acceptPause{100};

  // What serving stands on; tests replace them.
  struct Seams {
    // The time clients' limits and pauses are measured on; the steady clock when none.
    std::shared_ptr<const Clock> clock;
    // Takes a waiting start off the listening socket, as accept4 does; accept4 when none.
    std::function<int(int listenFD)> accept;
    // How long Reply::confirm() waits for a start to confirm; a second when none. A start that waits
    // confirms at once: this holds the main thread only for one stopped at that very moment.
    std::optional<std::chrono::milliseconds> confirmationTimeout;
  };

  // Serves the socket that claimSingleInstance() gave, from now on; the starts that queued on it
  // meanwhile are read first, and answered once the main queue runs their messages.
  static Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> start(
      SingleInstanceSocket socket, std::shared_ptr<MainQueue> queue, MessageHandler onMessage, Seams seams = {});
  // The same for a handler that answers each message itself.
  static Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> start(
      SingleInstanceSocket socket, std::shared_ptr<MainQueue> queue, AnsweringHandler onMessage, Seams seams = {});

  // Stops serving; the socket and its file go under the channel's lock, so a start deciding at that
  // moment never loses the socket it has just made.
  ~SingleInstanceServer();
  SingleInstanceServer(const SingleInstanceServer&) = delete;
  SingleInstanceServer& operator=(const SingleInstanceServer&) = delete;

 private:
  struct Shared;
  static Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> startServing(
      SingleInstanceSocket socket, std::shared_ptr<MainQueue> queue, AnsweringHandler onMessage, bool answersProbes,
      Seams seams);
  SingleInstanceServer(SingleInstanceSocket socket, int wakeFD, std::shared_ptr<Shared> shared, Seams seams);
  static void serve(std::stop_token stop, int listenFD, int wakeFD, std::shared_ptr<Shared> shared, Seams seams);

  SingleInstanceSocket socket_;
  int wakeFD_;
  std::shared_ptr<Shared> shared_;
  std::jthread thread_;
};

// Hands `message` (no newline or NUL in it) to the running program and waits up to `timeout` for
// its answer. Fails with notRunning when nobody listens. Takes no lock: for a program that is known
// to run.
Expected<Unit, SingleInstanceError> sendToRunningInstance(const std::filesystem::path& socketPath,
                                                          std::string_view message,
                                                          std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace tavrel::platform
