#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <thread>
#include <variant>

#include "platform/manual_main_queue.h"
#include "platform/single_instance.h"
#include "platform/uuid.h"
#include "support/child_process.h"
#include "support/raw_channel_client.h"
#include "support/temporary_directory.h"

extern char** environ;

namespace tavrel::platform {
namespace {

std::vector<std::string> currentEnvironment() {
  std::vector<std::string> environment;
  for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
  return environment;
}

using Kind = SingleInstanceError::Kind;
using tavrel::testing::connectRaw;

class SingleInstanceTest : public ::testing::Test {
 protected:
  // A start that finds nobody and becomes the running program.
  std::unique_ptr<SingleInstanceServer> becomeRunning() {
    auto claim = claimSingleInstance(socketPath, "first");
    if (!claim || !std::holds_alternative<SingleInstanceSocket>(*claim)) return nullptr;
    auto server = SingleInstanceServer::start(std::get<SingleInstanceSocket>(std::move(*claim)), queue,
                                              [this](std::string message) { received.push_back(message); });
    return server ? std::move(*server) : nullptr;
  }

  testing::TemporaryDirectory directory;
  std::filesystem::path socketPath = directory.path() / "tavrel.socket";
  std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
  std::vector<std::string> received;
};

using Claim = Expected<std::variant<HandedOver, SingleInstanceSocket>, SingleInstanceError>;

// A start on a thread of its own, as a second process would claim, while the test plays the main
// thread.
class BackgroundStart {
 public:
  BackgroundStart(const std::filesystem::path& socketPath, std::string message)
      : future_(std::async(std::launch::async, [socketPath, message] { return claimSingleInstance(socketPath, message); })) {}
  bool isDone() const { return future_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
  Claim result() { return future_.get(); }

 private:
  std::future<Claim> future_;
};

// Waits (up to ten seconds) until the running program's queue holds a message.
bool messageQueued(ManualMainQueue& queue) {
  for (int tries = 0; tries < 1000 && !queue.hasPendingTasks(); ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return queue.hasPendingTasks();
}

TEST_F(SingleInstanceTest, AnswersASecondStartOnlyOnceTheMainThreadTookItsMessage) {
  auto server = becomeRunning();
  ASSERT_TRUE(server);
  EXPECT_EQ(::access(socketPath.c_str(), F_OK), 0);
  struct stat status{};
  ASSERT_EQ(::stat(socketPath.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 077, 0u);

  const std::string callback = "com.tavrel.macos:/oauth/callback?code=c&state=s";
  BackgroundStart second(socketPath, callback);
  ASSERT_TRUE(messageQueued(*queue));
  EXPECT_TRUE(received.empty()) << "delivered off the main thread";
  EXPECT_FALSE(second.isDone()) << "answered before the main thread took the message";
  queue->runUntilIdle();
  EXPECT_EQ(received, std::vector<std::string>{callback});
  const auto handed = second.result();
  ASSERT_TRUE(handed) << handed.error().message;
  EXPECT_TRUE(std::holds_alternative<HandedOver>(*handed));

  auto third = std::async(std::launch::async, [&] { return sendToRunningInstance(socketPath, "third"); });
  ASSERT_TRUE(queue->runUntil([&] { return received.size() == 2; }));
  EXPECT_TRUE(third.get());
  EXPECT_EQ(received.back(), "third");
}

// Whether the server ended the connection (within ten seconds) without a word.
bool closedUnanswered(int fd) {
  pollfd readable{fd, POLLIN, 0};
  char byte = 0;
  return ::poll(&readable, 1, 10'000) == 1 && ::recv(fd, &byte, 1, 0) <= 0;
}

TEST_F(SingleInstanceTest, SilentSlowAndOverlongClientsNeverHoldUpAStart) {
  auto server = becomeRunning();
  ASSERT_TRUE(server);
  std::vector<int> idle;
  for (int count = 0; count < 10; ++count) idle.push_back(connectRaw(socketPath));
  // A writer that sends a byte now and then and never ends its line.
  const int slow = connectRaw(socketPath);
  std::jthread trickle([slow](std::stop_token stop) {
    while (!stop.stop_requested() && ::send(slow, "a", 1, MSG_NOSIGNAL) == 1) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  });
  const int overlong = connectRaw(socketPath);
  const std::string tooMuch(SingleInstanceServer::maximumMessageSize + 1, 'a');
  ASSERT_EQ(::send(overlong, tooMuch.data(), tooMuch.size(), MSG_NOSIGNAL), static_cast<ssize_t>(tooMuch.size()));

  BackgroundStart start(socketPath, "activate");
  ASSERT_TRUE(queue->runUntil([&] { return received.size() == 1; }));
  const auto claim = start.result();
  ASSERT_TRUE(claim) << claim.error().message;
  EXPECT_TRUE(std::holds_alternative<HandedOver>(*claim));
  EXPECT_EQ(received, std::vector<std::string>{"activate"});

  // Each has a limit of its own: the whole message within two seconds, and no longer than allowed.
  EXPECT_TRUE(closedUnanswered(overlong));
  EXPECT_TRUE(closedUnanswered(slow));
  for (const int fd : idle) EXPECT_TRUE(closedUnanswered(fd));
  trickle.request_stop();
  trickle.join();
  for (const int fd : idle) ::close(fd);
  ::close(slow);
  ::close(overlong);
  queue->runUntilIdle();
  EXPECT_EQ(received.size(), 1u);
}

TEST_F(SingleInstanceTest, StartsThatComeBeforeTheProgramServesAreAnsweredOnceItDoes) {
  auto claim = claimSingleInstance(socketPath, "first");
  ASSERT_TRUE(claim && std::holds_alternative<SingleInstanceSocket>(*claim));
  // The program is still starting: a second start waits in the socket's queue.
  std::optional<Expected<std::variant<HandedOver, SingleInstanceSocket>, SingleInstanceError>> second;
  std::jthread starter([&] { second.emplace(claimSingleInstance(socketPath, "activate")); });
  pollfd waiting{std::get<SingleInstanceSocket>(*claim).fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, 10'000), 1);
  auto server = SingleInstanceServer::start(std::get<SingleInstanceSocket>(std::move(*claim)), queue,
                                            [this](std::string message) { received.push_back(message); });
  ASSERT_TRUE(server);
  ASSERT_TRUE(queue->runUntil([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0], "activate");
  starter.join();
  ASSERT_TRUE(*second);
  EXPECT_TRUE(std::holds_alternative<HandedOver>(**second));
}

TEST_F(SingleInstanceTest, AProgramThatEndsBeforeServingLeavesTheChannelToTheStartWaitingOnIt) {
  std::optional<Expected<std::variant<HandedOver, SingleInstanceSocket>, SingleInstanceError>> second;
  {
    auto claim = claimSingleInstance(socketPath, "first");
    ASSERT_TRUE(claim && std::holds_alternative<SingleInstanceSocket>(*claim));
    std::jthread starter([&] { second.emplace(claimSingleInstance(socketPath, "activate")); });
    pollfd waiting{std::get<SingleInstanceSocket>(*claim).fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 10'000), 1);
    // The first start fails (no display, say) and drops its socket unserved.
    *claim = HandedOver{};
    starter.join();
  }
  ASSERT_TRUE(*second) << second->error().message;
  ASSERT_TRUE(std::holds_alternative<SingleInstanceSocket>(**second));
  EXPECT_EQ(::access(socketPath.c_str(), F_OK), 0);
}

TEST_F(SingleInstanceTest, NobodyListeningIsToldApart) {
  const auto sent = sendToRunningInstance(socketPath, "hello");
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().kind, Kind::notRunning);

  {
    auto server = becomeRunning();
    ASSERT_TRUE(server);
  }
  // Gone with the server: no socket left, nothing delivered after it ended.
  EXPECT_NE(::access(socketPath.c_str(), F_OK), 0);
  EXPECT_EQ(sendToRunningInstance(socketPath, "late").error().kind, Kind::notRunning);
  queue->runUntilIdle();
  EXPECT_TRUE(received.empty());
}

TEST_F(SingleInstanceTest, ReplacesTheSocketOfAProgramThatIsGone) {
  // A socket file whose process died without removing it.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);

  auto server = becomeRunning();
  ASSERT_TRUE(server);
  auto sent = std::async(std::launch::async, [&] { return sendToRunningInstance(socketPath, "after restart"); });
  ASSERT_TRUE(queue->runUntil([&] { return received.size() == 1; }));
  EXPECT_TRUE(sent.get());
}

TEST_F(SingleInstanceTest, RefusesMessagesThatCannotBeFramed) {
  auto server = becomeRunning();
  ASSERT_TRUE(server);
  EXPECT_EQ(sendToRunningInstance(socketPath, "two\nlines").error().kind, Kind::failed);
  EXPECT_FALSE(claimSingleInstance(socketPath, std::string_view("nul\0", 4)));
  EXPECT_FALSE(sendToRunningInstance(socketPath, std::string(SingleInstanceServer::maximumMessageSize + 1, 'a')));
  queue->runUntilIdle();
  EXPECT_TRUE(received.empty());
}

// Reads `count` bytes, waiting up to ten seconds for them; what came, short on a timeout.
std::string readBytes(int fd, std::size_t count) {
  std::string bytes;
  while (bytes.size() < count) {
    pollfd readable{fd, POLLIN, 0};
    char byte = 0;
    if (::poll(&readable, 1, 10'000) != 1 || ::read(fd, &byte, 1) != 1) break;
    bytes += byte;
  }
  return bytes;
}

TEST_F(SingleInstanceTest, OfTwoStartsAtTheSameInstantOneBecomesTheProgramEveryTime) {
  constexpr int rounds = 100;
  const auto environment = currentEnvironment();
  // Two processes claim the channel a hundred times; each round both wait on `go` once they are
  // ready, so they claim at the same instant.
  int ready[2], go[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  ASSERT_EQ(::pipe(done), 0);
  std::vector<pid_t> starts;
  for (int i = 0; i < 2; ++i) {
    starts.push_back(testing::spawnProcess({TAVREL_SINGLE_INSTANCE_START, socketPath.string(), std::to_string(rounds),
                                            std::to_string(ready[1]), std::to_string(go[0]), std::to_string(done[1])},
                                           environment));
  }
  std::vector<std::string> outcomes;
  for (int round = 0; round < rounds && starts[0] > 0 && starts[1] > 0; ++round) {
    if (readBytes(ready[0], 2) != "rr" || ::write(go[1], "gg", 2) != 2) break;
    auto outcome = readBytes(done[0], 2);
    std::sort(outcome.begin(), outcome.end());
    outcomes.push_back(outcome);
    // One handed its message over ("h") to the other, which ran and received it ("i").
    if (outcome != "hi") break;
  }
  for (const int fd : {ready[0], ready[1], go[0], go[1], done[0], done[1]}) ::close(fd);
  for (const pid_t pid : starts) {
    if (pid <= 0) continue;
    ::kill(pid, SIGKILL);  // ended already, unless a round went wrong
    ::waitpid(pid, nullptr, 0);
  }
  EXPECT_EQ(outcomes, std::vector<std::string>(rounds, "hi"));
  EXPECT_NE(::access(socketPath.c_str(), F_OK), 0) << "the last program left its socket behind";
}

TEST_F(SingleInstanceTest, AStartWhoseMessageTheQuittingProgramNeverTookDecidesAgain) {
  const auto environment = currentEnvironment();
  int ready[2], go[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  ASSERT_EQ(::pipe(done), 0);
  // The running program, in a process of its own, quits once a message waits for its main thread.
  const pid_t running =
      testing::spawnProcess({TAVREL_SINGLE_INSTANCE_START, socketPath.string(), "1", std::to_string(ready[1]),
                             std::to_string(go[0]), std::to_string(done[1]), "quit-unserved"},
                            environment);
  ASSERT_GT(running, 0);
  std::optional<Claim> claim;
  std::string outcomes;
  if (readBytes(ready[0], 1) == "r" && ::write(go[1], "g", 1) == 1 && readBytes(done[0], 1) == "s") {
    claim.emplace(claimSingleInstance(socketPath, "com.tavrel.macos:/oauth/callback?code=c&state=s"));
    outcomes = readBytes(done[0], 1);
  }
  for (const int fd : {ready[0], ready[1], go[0], go[1], done[0], done[1]}) ::close(fd);
  ::kill(running, SIGKILL);  // ended already, unless something went wrong
  ::waitpid(running, nullptr, 0);
  EXPECT_EQ(outcomes, "q");
  ASSERT_TRUE(claim);
  ASSERT_TRUE(*claim) << (*claim).error().message;
  EXPECT_TRUE(std::holds_alternative<SingleInstanceSocket>(**claim)) << "told delivered, though nobody took it";
}

TEST_F(SingleInstanceTest, AStartsWordThatComesAfterTheProgramStoppedWaitingForItFailsOnTheStartsSide) {
  auto claim = claimSingleInstance(socketPath, "first");
  ASSERT_TRUE(claim && std::holds_alternative<SingleInstanceSocket>(*claim));
  std::vector<bool> confirmed;
  SingleInstanceServer::Seams seams;
  seams.confirmationTimeout = std::chrono::milliseconds(0);
  auto server = SingleInstanceServer::start(std::get<SingleInstanceSocket>(std::move(*claim)), queue,
                                            [&](std::string, SingleInstanceServer::Reply& reply) {
                                              confirmed.push_back(reply.confirm());
                                            },
                                            seams);
  ASSERT_TRUE(server);
  // A start that was stopped when the question came, and goes on only once the program gave up on it.
  const int fd = connectRaw(socketPath);
  ASSERT_EQ(::send(fd, "items\n", 6, MSG_NOSIGNAL), 6);
  ASSERT_TRUE(queue->runUntil([&] { return !confirmed.empty(); }));
  EXPECT_EQ(confirmed, std::vector<bool>{false});
  EXPECT_EQ(readBytes(fd, 4), "ok?\n");
  errno = 0;
  EXPECT_EQ(::send(fd, "yes\n", 4, MSG_NOSIGNAL), -1) << "it would take its message for taken";
  EXPECT_EQ(errno, EPIPE);
  ::close(fd);
}

// Out of descriptors, accept fails while the start stays queued, and poll reports it again at once.
TEST_F(SingleInstanceTest, OutOfDescriptorsTheServerWaitsForThemToFreeThenServesTheStart) {
  // Every turn of the server's loop reads its clock: the reads count the turns.
  struct CountingClock final : Clock {
    TimePoint now() const override {
      ++reads;
      return time.now();
    }
    VirtualClock time;
    mutable std::atomic<int> reads{0};
  };
  const auto clock = std::make_shared<CountingClock>();
  std::atomic<bool> exhausted{true};
  std::atomic<int> accepts{0};
  SingleInstanceServer::Seams seams{clock, [&](int listenFD) {
                                      ++accepts;
                                      if (exhausted) {
                                        errno = EMFILE;
                                        return -1;
                                      }
                                      return ::accept4(listenFD, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                                    },
                                    std::nullopt};
  auto claim = claimSingleInstance(socketPath, "first");
  ASSERT_TRUE(claim && std::holds_alternative<SingleInstanceSocket>(*claim));
  auto server = SingleInstanceServer::start(std::get<SingleInstanceSocket>(std::move(*claim)), queue,
                                            [this](std::string message) { received.push_back(message); }, seams);
  ASSERT_TRUE(server);

  BackgroundStart start(socketPath, "activate");
  const auto waitFor = [](const std::function<bool()>& done) {
    for (int tries = 0; tries < 2000 && !done(); ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
  };
  ASSERT_TRUE(waitFor([&] { return accepts > 0; }));
  // Several turns later, with no time passed on the server's clock, it has not tried again.
  const int turnsBefore = clock->reads;
  ASSERT_TRUE(waitFor([&] { return clock->reads >= turnsBefore + 6; }));
  EXPECT_EQ(accepts, 1);
  EXPECT_FALSE(start.isDone());

  exhausted = false;
  clock->time.advance(SingleInstanceServer::acceptPause);
  ASSERT_TRUE(queue->runUntil([&] { return received.size() == 1; }));
  EXPECT_EQ(received, std::vector<std::string>{"activate"});
  const auto handed = start.result();
  ASSERT_TRUE(handed) << handed.error().message;
  EXPECT_TRUE(std::holds_alternative<HandedOver>(*handed));
  EXPECT_EQ(accepts, 2);
}

TEST(SingleInstanceSocketPathTest, UsesTheRuntimeFolderElseAPrivateFolderInTmp) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedValue = saved ? saved : "";
  const std::string name = "tavrel-test-" + Uuid::generate().toString();

  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(singleInstanceSocketPath(name).value(), std::filesystem::path("/run/user/4242") / (name + ".socket"));

  ::unsetenv("XDG_RUNTIME_DIR");
  const std::filesystem::path folder = "/tmp/" + name + "-" + std::to_string(geteuid());
  const auto path = singleInstanceSocketPath(name);
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, folder / (name + ".socket"));
  struct stat status{};
  ASSERT_EQ(::stat(folder.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);

  // A folder that others may enter is not trusted.
  ::chmod(folder.c_str(), 0755);
  EXPECT_FALSE(singleInstanceSocketPath(name));
  ::rmdir(folder.c_str());

  if (saved) ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
}

}  // namespace
}  // namespace tavrel::platform
