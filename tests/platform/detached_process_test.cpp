#include "platform/detached_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <functional>
#include <optional>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include "support/temporary_directory.h"

extern char** environ;

namespace tavrel::platform {
namespace {

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The one-letter state in /proc/<pid>/stat ('Z' for a zombie); empty when there is no such process.
std::string processState(pid_t pid) {
  const auto stat = readAll("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? std::string{} : stat.substr(close + 2, 1);
}

// Runs `start` with an exit callback and waits until that callback has run; returns its status.
int waitForExit(const std::function<void(std::function<void(int)>)>& start) {
  std::mutex mutex;
  std::condition_variable exited;
  std::optional<int> status;
  start([&](int waitStatus) {
    std::lock_guard lock(mutex);
    status = waitStatus;
    exited.notify_all();
  });
  std::unique_lock lock(mutex);
  exited.wait(lock, [&] { return status.has_value(); });
  return *status;
}

TEST(DetachedProcessTest, StartsTheProgramInASessionOfItsOwnWithQuietStreamsAndReapsIt) {
  testing::TemporaryDirectory directory;
  const auto record = directory.path() / "record";
  // The shell reports its own session and where its three streams lead.
  // (Read before any redirection: dash redirects its own streams while it runs a command.)
  const std::string script =
      "s=$(cut -d' ' -f6 /proc/$$/stat); f=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); "
      "echo \"$s $f\" > '" + record.string() + "'";
  pid_t child = 0;
  const int status = waitForExit([&](auto onExit) {
    auto started = startDetachedProcess({"sh", "-c", script}, onExit);
    ASSERT_TRUE(started);
    child = *started;
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::istringstream lines(readAll(record));
  pid_t session = 0;
  lines >> session;
  EXPECT_EQ(session, child);  // it leads a session of its own
  EXPECT_NE(session, ::getsid(0));
  std::string stream;
  for (int fd = 0; fd < 3; ++fd) {
    lines >> stream;
    EXPECT_EQ(stream, "/dev/null") << "stream " << fd;
  }
  EXPECT_EQ(processState(child), "");  // reaped: no zombie left
}

TEST(DetachedProcessTest, ReportsAProgramThatCannotBeStarted) {
  auto started = startDetachedProcess({"/nonexistent/program"});
  ASSERT_FALSE(started);
  EXPECT_EQ(started.error(), ENOENT);
  EXPECT_FALSE(startDetachedProcess({}));
}

// A thread limit reached: a child started with nobody to wait for it would stay a zombie for as long
// as we run, and the failure must reach the caller as a value, not as an exception out of its task.
TEST(DetachedProcessTest, WithoutAThreadToWaitForItNothingIsStartedAndNothingIsThrown) {
  testing::TemporaryDirectory directory;
  const auto mark = directory.path() / "started";
  int threadsAsked = 0;
  const ThreadStarter noThread = [&](std::function<void()>) {
    ++threadsAsked;
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  };
  std::optional<Expected<pid_t, int>> started;
  EXPECT_NO_THROW(started.emplace(startDetachedProcess({"touch", mark.string()}, [](int) {}, noThread)));
  EXPECT_EQ(threadsAsked, 1);
  ASSERT_TRUE(started.has_value());
  ASSERT_FALSE(*started);
  EXPECT_EQ(started->error(), EAGAIN);
  // No child of ours, running or ended, is left for anyone to reap.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  EXPECT_FALSE(std::filesystem::exists(mark));
}

// A Ctrl+C in the terminal reaches its whole foreground process group; what we started must not
// be in it.
TEST(DetachedProcessTest, AStartedProgramOutlivesAnInterruptOfTheProgramThatStartedIt) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  char program[] = TAVREL_DETACHED_START;
  char* argv[] = {program, nullptr};
  pid_t starter = 0;
  ASSERT_EQ(posix_spawn(&starter, program, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  std::string line;
  char c = 0;
  while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(pipeFds[0]);
  std::istringstream fields(line);
  pid_t starterSession = 0, child = 0;
  ASSERT_TRUE(fields >> starterSession >> child) << line;

  EXPECT_NE(::getsid(child), starterSession);
  EXPECT_NE(::getpgid(child), starter);
  ASSERT_EQ(::kill(-starter, SIGINT), 0);  // what the terminal does with Ctrl+C
  int status = 0;
  ASSERT_EQ(::waitpid(starter, &status, 0), starter);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
  const auto state = processState(child);
  EXPECT_NE(state, "");
  EXPECT_NE(state, "Z");
  ::kill(child, SIGKILL);
}

}  // namespace
}  // namespace tavrel::platform
