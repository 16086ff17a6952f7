#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/manual_main_queue.h"
#include "platform/single_instance.h"
#include "platform/uuid.h"
#include "support/temporary_directory.h"

namespace tavrel::platform {
namespace {

using Kind = SingleInstanceError::Kind;

class SingleInstanceTest : public ::testing::Test {
 protected:
  Expected<std::unique_ptr<SingleInstanceServer>, SingleInstanceError> listen() {
    return SingleInstanceServer::listen(socketPath, queue, [this](std::string message) { received.push_back(message); });
  }

  testing::TemporaryDirectory directory;
  std::filesystem::path socketPath = directory.path() / "tavrel.socket";
  std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
  std::vector<std::string> received;
};

TEST_F(SingleInstanceTest, HandsASecondStartsMessageToTheMainThread) {
  auto server = listen();
  ASSERT_TRUE(server) << server.error().message;
  EXPECT_EQ(::access(socketPath.c_str(), F_OK), 0);
  struct stat status{};
  ASSERT_EQ(::stat(socketPath.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 077, 0u);

  const std::string callback = "com.tavrel.macos:/oauth/callback?code=c&state=s";
  ASSERT_TRUE(sendToRunningInstance(socketPath, callback));
  ASSERT_TRUE(sendToRunningInstance(socketPath, "second"));
  EXPECT_TRUE(received.empty()) << "delivered off the main thread";
  ASSERT_TRUE(queue->runUntil([&] { return received.size() == 2; }));
  EXPECT_EQ(received, (std::vector<std::string>{callback, "second"}));

  // A second program start finds the first one running.
  auto second = listen();
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().kind, Kind::alreadyRunning);
}

TEST_F(SingleInstanceTest, NobodyListeningIsToldApart) {
  const auto sent = sendToRunningInstance(socketPath, "hello");
  ASSERT_FALSE(sent);
  EXPECT_EQ(sent.error().kind, Kind::notRunning);

  {
    auto server = listen();
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

  auto server = listen();
  ASSERT_TRUE(server) << server.error().message;
  ASSERT_TRUE(sendToRunningInstance(socketPath, "after restart"));
  ASSERT_TRUE(queue->runUntil([&] { return received.size() == 1; }));
}

TEST_F(SingleInstanceTest, RefusesMessagesThatCannotBeFramed) {
  auto server = listen();
  ASSERT_TRUE(server);
  EXPECT_EQ(sendToRunningInstance(socketPath, "two\nlines").error().kind, Kind::failed);
  EXPECT_FALSE(sendToRunningInstance(socketPath, std::string(SingleInstanceServer::maximumMessageSize + 1, 'a')));
  queue->runUntilIdle();
  EXPECT_TRUE(received.empty());
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
