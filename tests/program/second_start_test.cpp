// A second start of the real program, as its own process, beside a stand-in for the running one:
// it hands its arguments over and ends without building anything, so the share handoff's folder is
// claimed by the running program alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/manual_main_queue.h"
#include "platform/single_instance.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"

extern char** environ;

namespace tavrel {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
  std::ifstream stream(file);
  std::stringstream text;
  text << stream.rdbuf();
  return text.str();
}

std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class SecondStartTest : public ::testing::Test {
 protected:
  SecondStartTest() {
    runtime = directory.makeDirectory("runtime");
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    // A request the share program left: any scan would answer it and delete it.
    request = directory.writeFile(pending / "6F1C2D3E-4B5A-4978-8A9B-0C1D2E3F4A5B.json", "{\"schemaVersion\":1}");
    for (fs::path folder = pending; folder != "data"; folder = folder.parent_path()) {
      fs::permissions(directory.path() / folder, fs::perms::owner_all, fs::perm_options::replace);
    }
  }

  // Runs the program with `arguments` in this test's session and returns its exit status.
  int startProgram(std::vector<std::string> arguments, bool withDisplay = true) {
    arguments.insert(arguments.begin(), TAVREL_PROGRAM);
    std::vector<std::string> environment{
        "HOME=" + (directory.path() / "home").string(),
        "XDG_RUNTIME_DIR=" + runtime.string(),
        "XDG_DATA_HOME=" + (directory.path() / "data").string(),
        "XDG_CONFIG_HOME=" + (directory.path() / "config").string(),
        // A start that went on to build the program stops at once instead of reaching a desktop.
        "QT_QPA_PLATFORM=no-such-platform",
    };
    if (withDisplay) environment.emplace_back("DISPLAY=:0");
    for (char** variable = environ; *variable; ++variable) {
      const std::string_view text(*variable);
      if (text.starts_with("ASAN_") || text.starts_with("UBSAN_") || text.starts_with("LSAN_") ||
          text.starts_with("TSAN_")) {
        environment.emplace_back(text);
      }
    }
    const pid_t pid = testing::spawnProcess(std::move(arguments), std::move(environment));
    if (pid < 0) return -1;
    int status = 0;
    // The stand-in answers once its main thread took the message: it runs meanwhile.
    if (!queue->runUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(60))) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    if (!WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  testing::TemporaryDirectory directory;
  fs::path runtime;
  fs::path pending = fs::path("data") / "tavrel" / "group.com.tavrel.macos" / "Pending";
  fs::path request;
  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  std::vector<std::string> received;
};

TEST_F(SecondStartTest, HandsItsArgumentsToTheRunningProgramAndNeverTouchesTheHandoffFolder) {
  // Where the program looks for itself when the session has a runtime folder.
  const fs::path socketPath = runtime / "com.tavrel.macos.socket";
  auto claim = platform::claimSingleInstance(socketPath, "first");
  ASSERT_TRUE(claim && std::holds_alternative<platform::SingleInstanceSocket>(*claim));
  auto running = platform::SingleInstanceServer::start(std::get<platform::SingleInstanceSocket>(std::move(*claim)),
                                                       queue, [this](std::string message) { received.push_back(message); });
  ASSERT_TRUE(running) << running.error().message;

  const std::string callback = "com.tavrel.macos:/oauth/callback?code=c&state=s";
  EXPECT_EQ(startProgram({}), 0);
  // The browser may start us where no display is set: handing over needs none.
  EXPECT_EQ(startProgram({"--show-dock-icon", callback}, /*withDisplay=*/false), 0);
  queue->runUntilIdle();
  EXPECT_EQ(received, (std::vector<std::string>{"activate", callback}));

  const auto folder = directory.path() / pending;
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{request.filename().string()});
  EXPECT_EQ(contents(request), "{\"schemaVersion\":1}");
}

TEST_F(SecondStartTest, HelpAndRefusedOptionsNeverReachTheRunningProgram) {
  auto claim = platform::claimSingleInstance(runtime / "com.tavrel.macos.socket", "first");
  ASSERT_TRUE(claim && std::holds_alternative<platform::SingleInstanceSocket>(*claim));
  auto running = platform::SingleInstanceServer::start(std::get<platform::SingleInstanceSocket>(std::move(*claim)),
                                                       queue, [this](std::string message) { received.push_back(message); });
  ASSERT_TRUE(running) << running.error().message;

  EXPECT_EQ(startProgram({"--help"}), 0);
  EXPECT_EQ(startProgram({"--version"}, /*withDisplay=*/false), 0);
  EXPECT_EQ(startProgram({"--show-dock-icon", "--no-such-option"}), 2);
  queue->runUntilIdle();
  EXPECT_TRUE(received.empty());
}

TEST_F(SecondStartTest, StartsByTheSessionLeaveARunningProgramAsItIs) {
  // As a saved desktop session starts the program Qt registered with the session manager.
  const std::vector<std::string> restart{"-session", "10d2a7c3f1000170000000021_1702200000_123456"};
  // Alone, it goes on as any start does, here as far as the missing display.
  EXPECT_EQ(startProgram(restart, /*withDisplay=*/false), 1);

  auto claim = platform::claimSingleInstance(runtime / "com.tavrel.macos.socket", "first");
  ASSERT_TRUE(claim && std::holds_alternative<platform::SingleInstanceSocket>(*claim));
  auto running = platform::SingleInstanceServer::start(std::get<platform::SingleInstanceSocket>(std::move(*claim)),
                                                       queue, [this](std::string message) { received.push_back(message); });
  ASSERT_TRUE(running) << running.error().message;
  // Beside a running program it hands over, but not the "activate" that would show the popover.
  EXPECT_EQ(startProgram(restart), 0);
  // Nor does Open at Login's start, when the user was quicker.
  EXPECT_EQ(startProgram({"--at-login"}), 0);
  queue->runUntilIdle();
  EXPECT_EQ(received, (std::vector<std::string>{"session-restore", "session-restore"}));
}

TEST_F(SecondStartTest, WithoutAProgramOrADisplayTheStartEndsAndLeavesTheChannelFree) {
  EXPECT_EQ(startProgram({}, /*withDisplay=*/false), 1);
  EXPECT_FALSE(fs::exists(runtime / "com.tavrel.macos.socket"));
}

}  // namespace
}  // namespace tavrel
