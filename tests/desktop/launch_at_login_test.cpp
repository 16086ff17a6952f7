#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "desktop/launch_at_login_model.h"
#include "desktop/system_launch_at_login_service.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

std::vector<std::string>& logLines() {
  static std::vector<std::string> lines;
  return lines;
}

class FakeLoginItemService final : public LaunchAtLoginServicing {
 public:
  int rawStatus = notRegistered;
  std::optional<LaunchAtLoginError> failure;
  int statusAfterFailure = -1;  // the status a failed change leaves behind; unchanged when -1
  std::vector<std::string> calls;

  int status() const override { return rawStatus; }
  platform::Expected<platform::Unit, LaunchAtLoginError> registerLoginItem() override { return change("register", enabledStatus); }
  platform::Expected<platform::Unit, LaunchAtLoginError> unregisterLoginItem() override {
    if (rawStatus != enabledStatus && rawStatus != requiresApprovalStatus) return platform::Unit{};
    return change("unregister", notRegistered);
  }
  void openLoginItemsSettings() override { calls.push_back("open settings"); }

 private:
  platform::Expected<platform::Unit, LaunchAtLoginError> change(const char* name, int successStatus) {
    calls.push_back(name);
    if (failure) {
      if (statusAfterFailure >= 0) rawStatus = statusAfterFailure;
      return platform::unexpected(*failure);
    }
    rawStatus = successStatus;
    return platform::Unit{};
  }
};

class LaunchAtLoginModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logLines().clear();
    previousSink = platform::Logger::setSink([](platform::LogLevel, std::string_view line) { logLines().emplace_back(line); });
  }
  void TearDown() override { platform::Logger::setSink(previousSink); }

  std::shared_ptr<FakeLoginItemService> service = std::make_shared<FakeLoginItemService>();
  platform::Logger::Sink previousSink = nullptr;
};

TEST_F(LaunchAtLoginModelTest, StatusesMapFromTheServicesRawValues) {
  const std::vector<std::pair<int, LaunchAtLoginStatus>> cases{
      {0, LaunchAtLoginStatus::disabled}, {1, LaunchAtLoginStatus::enabled}, {2, LaunchAtLoginStatus::requiresApproval},
      {3, LaunchAtLoginStatus::unavailable}, {7, LaunchAtLoginStatus::unavailable}, {-1, LaunchAtLoginStatus::unavailable}};
  for (const auto& [raw, status] : cases) {
    service->rawStatus = raw;
    LaunchAtLoginModel model(service);
    EXPECT_EQ(model.status().value(), status) << raw;
    EXPECT_EQ(model.isOn(), raw == 1 || raw == 2) << raw;
  }
}

TEST_F(LaunchAtLoginModelTest, SuccessfulChangesFollowTheService) {
  LaunchAtLoginModel model(service);
  model.setEnabled(true);
  EXPECT_EQ(model.status().value(), LaunchAtLoginStatus::enabled);
  model.setEnabled(false);
  EXPECT_EQ(model.status().value(), LaunchAtLoginStatus::disabled);
  // Off while already off asks the service for nothing.
  model.setEnabled(false);
  EXPECT_EQ(service->calls, (std::vector<std::string>{"register", "unregister"}));
  EXPECT_FALSE(model.failureMessage().value());
  EXPECT_TRUE(logLines().empty());
}

TEST_F(LaunchAtLoginModelTest, FailedChangeShowsTheMessageOnlyWhenTheItemIsNotAsWanted) {
  LaunchAtLoginModel model(service);
  service->failure = LaunchAtLoginError{"POSIX", 13, "Permission denied"};
  model.setEnabled(true);
  EXPECT_EQ(model.status().value(), LaunchAtLoginStatus::disabled);
  EXPECT_EQ(model.failureMessage().value(),
            "Tavrel couldn’t update Open at Login. Try again or review Login Items in System Settings.");
  ASSERT_EQ(logLines().size(), 1u);
  EXPECT_NE(logLines()[0].find("Unable to update Open at Login: POSIX / 13; <private>"), std::string::npos);

  // Refreshing clears it.
  model.refresh();
  EXPECT_FALSE(model.failureMessage().value());

  // A failure that still leaves the item waiting for approval counts as on: nothing to say.
  service->statusAfterFailure = LaunchAtLoginServicing::requiresApprovalStatus;
  model.setEnabled(true);
  EXPECT_EQ(model.status().value(), LaunchAtLoginStatus::requiresApproval);
  EXPECT_FALSE(model.failureMessage().value());

  // Turning off fails and the item stays registered.
  service->statusAfterFailure = LaunchAtLoginServicing::enabledStatus;
  model.setEnabled(false);
  EXPECT_EQ(model.status().value(), LaunchAtLoginStatus::enabled);
  EXPECT_TRUE(model.failureMessage().value());
  // The next change starts without the old message.
  std::vector<std::optional<std::string>> messages;
  auto subscription = model.subscribeFailureMessage([&](const auto& message) { messages.push_back(message); });
  service->failure.reset();
  model.setEnabled(false);
  EXPECT_EQ(messages.back(), std::nullopt);
  EXPECT_EQ(model.status().value(), LaunchAtLoginStatus::disabled);
}

class SystemLaunchAtLoginServiceTest : public ::testing::Test {
 protected:
  std::filesystem::path autostart() const { return folder.path() / "config" / "autostart"; }
  std::filesystem::path entry() const { return autostart() / "com.tavrel.macos.desktop"; }
  std::size_t filesInAutostart() const {
    return std::filesystem::exists(autostart())
               ? static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(autostart()), {}))
               : 0;
  }
  static std::string contents(const std::filesystem::path& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  testing::TemporaryDirectory folder;
};

TEST_F(SystemLaunchAtLoginServiceTest, EntryAppearsAndDisappearsWithNothingLeftOver) {
  SystemLaunchAtLoginService service(autostart(), "/opt/Tavrel Desktop/bin/tavrel", nullptr);
  EXPECT_EQ(service.status(), LaunchAtLoginServicing::notRegistered);

  ASSERT_TRUE(service.registerLoginItem().hasValue());
  EXPECT_EQ(service.status(), LaunchAtLoginServicing::enabledStatus);
  // The login start says it is one, so it shows nothing where there is no tray.
  EXPECT_NE(contents(entry()).find("\nExec=\"/opt/Tavrel Desktop/bin/tavrel\" --at-login\n"), std::string::npos);
  // Once the program is gone, the desktop skips the entry left behind.
  EXPECT_NE(contents(entry()).find("\nTryExec=/opt/Tavrel Desktop/bin/tavrel\n"), std::string::npos);
  EXPECT_EQ(filesInAutostart(), 1u);
  // Registering again rewrites the same entry.
  ASSERT_TRUE(service.registerLoginItem().hasValue());
  EXPECT_EQ(filesInAutostart(), 1u);

  ASSERT_TRUE(service.unregisterLoginItem().hasValue());
  EXPECT_EQ(service.status(), LaunchAtLoginServicing::notRegistered);
  EXPECT_EQ(filesInAutostart(), 0u);
  // Nothing to remove is a success.
  EXPECT_TRUE(service.unregisterLoginItem().hasValue());
}

TEST_F(SystemLaunchAtLoginServiceTest, HiddenEntryIsOffAndIsLeftAloneWhenTurningOff) {
  SystemLaunchAtLoginService service(autostart(), "/usr/bin/tavrel", nullptr);
  folder.writeFile("config/autostart/com.tavrel.macos.desktop",
                   "[Desktop Entry]\nType=Application\nExec=/usr/bin/tavrel\nHidden = true\n");
  EXPECT_EQ(service.status(), LaunchAtLoginServicing::notRegistered);
  EXPECT_TRUE(service.unregisterLoginItem().hasValue());
  EXPECT_TRUE(std::filesystem::exists(entry()));
  // "Hidden" in another group does not count.
  folder.writeFile("config/autostart/com.tavrel.macos.desktop",
                   "[Desktop Entry]\nExec=/usr/bin/tavrel\n[Desktop Action x]\nHidden=true\n");
  EXPECT_EQ(service.status(), LaunchAtLoginServicing::enabledStatus);
  // Turning on replaces a hidden entry with our own.
  folder.writeFile("config/autostart/com.tavrel.macos.desktop", "[Desktop Entry]\nHidden=true\n");
  ASSERT_TRUE(service.registerLoginItem().hasValue());
  EXPECT_EQ(service.status(), LaunchAtLoginServicing::enabledStatus);
}

TEST_F(SystemLaunchAtLoginServiceTest, FailuresLeaveNoHalfWrittenEntry) {
  SystemLaunchAtLoginService unknown(autostart(), std::optional<LoginStartCommand>{}, nullptr);
  EXPECT_EQ(unknown.status(), LaunchAtLoginServicing::notFound);
  EXPECT_FALSE(unknown.registerLoginItem().hasValue());

  SystemLaunchAtLoginService brokenPath(autostart(), "/opt/tav\nrel", nullptr);
  const auto refused = brokenPath.registerLoginItem();
  ASSERT_FALSE(refused.hasValue());
  EXPECT_EQ(refused.error().domain, "POSIX");
  EXPECT_EQ(filesInAutostart(), 0u);

  // The autostart folder cannot be written: the error comes back and nothing appears.
  folder.makeDirectory("config/autostart");
  ASSERT_EQ(::chmod(autostart().c_str(), 0500), 0);
  SystemLaunchAtLoginService service(autostart(), "/usr/bin/tavrel", nullptr);
  const auto failed = service.registerLoginItem();
  ::chmod(autostart().c_str(), 0700);
  if (::geteuid() != 0) {
    ASSERT_FALSE(failed.hasValue());
    EXPECT_EQ(failed.error().code, EACCES);
    EXPECT_EQ(filesInAutostart(), 0u);
    EXPECT_EQ(service.status(), LaunchAtLoginServicing::notRegistered);
  }
}

TEST_F(SystemLaunchAtLoginServiceTest, LoginStartsWhatTheInstalledDesktopEntryStarts) {
  const std::vector<std::filesystem::path> folders{folder.path() / "user", folder.path() / "local", folder.path() / "system"};
  EXPECT_EQ(SystemLaunchAtLoginService::commandOfInstalledEntry(folders), std::nullopt);

  // The wrapper a developer's run installs in the user's folder shadows the system's entry, as in the menu.
  folder.writeFile("system/com.tavrel.macos.desktop", "[Desktop Entry]\nExec=/usr/bin/tavrel %u\n");
  folder.writeFile("user/com.tavrel.macos.desktop",
                   "[Desktop Entry]\nName=Tavrel\nExec=\"/home/a b/run/tavrel\" --x=100%% %U\n"
                   "[Desktop Action other]\nExec=/bin/false\n");
  const auto command = SystemLaunchAtLoginService::commandOfInstalledEntry(folders);
  ASSERT_TRUE(command);
  EXPECT_EQ(command->exec, R"("/home/a b/run/tavrel" --x=100%%)");

  SystemLaunchAtLoginService service(autostart(), command, nullptr);
  ASSERT_TRUE(service.registerLoginItem().hasValue());
  EXPECT_NE(contents(entry()).find("\nExec=\"/home/a b/run/tavrel\" --x=100%% --at-login\n"), std::string::npos)
      << contents(entry());
  EXPECT_NE(contents(entry()).find("\nTryExec=/home/a b/run/tavrel\n"), std::string::npos) << contents(entry());
  // An entry naming the program without a folder: TryExec names it where $PATH finds it.
  const auto bin = folder.writeFile("bin/tavrel", "#!/bin/sh\n");
  ASSERT_EQ(::chmod(bin.c_str(), 0755), 0);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (folder.path() / "nothing-here").string().append(":").append(bin.parent_path().string()).c_str(), 1);
  const auto bare = SystemLaunchAtLoginService::entryText(*SystemLaunchAtLoginService::commandFromExec("tavrel %u"));
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_NE(bare.find("\nTryExec=" + bin.string() + "\n"), std::string::npos) << bare;

  // A hidden entry means the desktop starts nothing by that name: fall back to the executable.
  folder.writeFile("user/com.tavrel.macos.desktop", "[Desktop Entry]\nExec=/x\nHidden=true\n");
  EXPECT_EQ(SystemLaunchAtLoginService::commandOfInstalledEntry(folders), std::nullopt);
  // An entry whose Exec is only field codes, or breaks a line, gives nothing to start.
  EXPECT_EQ(SystemLaunchAtLoginService::commandFromExec(" %u "), std::nullopt);
  EXPECT_EQ(SystemLaunchAtLoginService::commandFromExec("tavrel\x7f"), std::nullopt);
  EXPECT_EQ(SystemLaunchAtLoginService::commandFromExec("tavrel %f%F"), (LoginStartCommand{"tavrel"}));
}

TEST_F(SystemLaunchAtLoginServiceTest, AnOlderBuildsEntryLearnsToSayItIsALoginStart) {
  SystemLaunchAtLoginService service(autostart(), "/usr/bin/tavrel", nullptr);
  // Open at Login off: nothing is written.
  ASSERT_TRUE(service.addLoginStartOptionToOlderEntry().hasValue());
  EXPECT_EQ(filesInAutostart(), 0u);
  const std::string hidden = "[Desktop Entry]\nExec=/usr/bin/tavrel\nHidden=true\n";
  folder.writeFile("config/autostart/com.tavrel.macos.desktop", hidden);
  ASSERT_TRUE(service.addLoginStartOptionToOlderEntry().hasValue());
  EXPECT_EQ(contents(entry()), hidden);

  // The older entry starts what the menu starts; only its Exec changes, once.
  const std::string older =
      "[Desktop Entry]\nType=Application\nName=Tavrel\nExec=\"/home/a b/run/tavrel\"\n"
      "TryExec=/home/a b/run/tavrel\nX-GNOME-Autostart-enabled=true\n[Desktop Action x]\nExec=/bin/false\n";
  folder.writeFile("config/autostart/com.tavrel.macos.desktop", older);
  ASSERT_TRUE(service.addLoginStartOptionToOlderEntry().hasValue());
  const auto updated = contents(entry());
  EXPECT_EQ(updated, "[Desktop Entry]\nType=Application\nName=Tavrel\nExec=\"/home/a b/run/tavrel\" --at-login\n"
                     "TryExec=/home/a b/run/tavrel\nX-GNOME-Autostart-enabled=true\n[Desktop Action x]\nExec=/bin/false\n");
  ASSERT_TRUE(service.addLoginStartOptionToOlderEntry().hasValue());
  EXPECT_EQ(contents(entry()), updated);
  EXPECT_EQ(filesInAutostart(), 1u);
  EXPECT_EQ(service.status(), LaunchAtLoginServicing::enabledStatus);
}

// Dotfile managers keep the entry elsewhere and leave a relative link in the autostart folder; some
// users make their entries private or share them with a group.
TEST_F(SystemLaunchAtLoginServiceTest, ARewrittenEntryStaysLinkedAndKeepsItsModeAndGroup) {
  SystemLaunchAtLoginService service(autostart(), "/usr/bin/tavrel", nullptr);
  const auto kept = folder.writeFile("dotfiles/autostart/com.tavrel.macos.desktop",
                                     "[Desktop Entry]\nType=Application\nExec=/usr/bin/tavrel\n");
  ::chmod(kept.c_str(), 0640);
  // A group of ours other than the one new files get, where there is one (root may give any).
  std::optional<::gid_t> group;
  if (::geteuid() == 0) group = ::getegid() == 4242 ? 4243 : 4242;
  if (group) {
    ASSERT_EQ(::chown(kept.c_str(), static_cast<::uid_t>(-1), *group), 0);
  }
  folder.makeDirectory("config/autostart");
  std::filesystem::create_symlink("../../dotfiles/autostart/com.tavrel.macos.desktop", entry());

  ASSERT_TRUE(service.addLoginStartOptionToOlderEntry().hasValue());
  ASSERT_TRUE(std::filesystem::is_symlink(entry()));
  EXPECT_EQ(std::filesystem::read_symlink(entry()), "../../dotfiles/autostart/com.tavrel.macos.desktop");
  EXPECT_EQ(contents(kept), "[Desktop Entry]\nType=Application\nExec=/usr/bin/tavrel --at-login\n");
  struct stat status {};
  ASSERT_EQ(::stat(kept.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  if (group) {
    EXPECT_EQ(status.st_gid, *group);
  }
  // Turning it on again writes through the link too, and leaves nothing beside either file.
  ASSERT_TRUE(service.registerLoginItem().hasValue());
  EXPECT_TRUE(std::filesystem::is_symlink(entry()));
  EXPECT_EQ(contents(kept), SystemLaunchAtLoginService::entryText(std::filesystem::path("/usr/bin/tavrel")));
  EXPECT_EQ(filesInAutostart(), 1u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(kept.parent_path()), {}), 1);

  // A private entry of the user's own stays private; a new one is readable by all, as entries are.
  std::filesystem::remove(entry());
  folder.writeFile("config/autostart/com.tavrel.macos.desktop", "[Desktop Entry]\nExec=/usr/bin/tavrel\n");
  ::chmod(entry().c_str(), 0600);
  ASSERT_TRUE(service.addLoginStartOptionToOlderEntry().hasValue());
  EXPECT_EQ(contents(entry()), "[Desktop Entry]\nExec=/usr/bin/tavrel --at-login\n");
  ASSERT_EQ(::stat(entry().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  ASSERT_TRUE(service.registerLoginItem().hasValue());
  ASSERT_EQ(::stat(entry().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  ASSERT_TRUE(service.unregisterLoginItem().hasValue());
  ASSERT_TRUE(service.registerLoginItem().hasValue());
  ASSERT_EQ(::stat(entry().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST_F(SystemLaunchAtLoginServiceTest, ExecLineQuotesWhatTheDesktopWouldInterpret) {
  const auto text = SystemLaunchAtLoginService::entryText(R"(/home/a "b"/$HOME/100%/x\y`z`)");
  ASSERT_TRUE(text);
  EXPECT_NE(text->find(R"(Exec="/home/a \\"b\\"/\\$HOME/100%%/x\\\\y\\`z\\`")"), std::string::npos) << *text;
  // TryExec is a plain string: only the backslash is escaped.
  EXPECT_NE(text->find("\nTryExec=/home/a \"b\"/$HOME/100%/x\\\\y`z`\n"), std::string::npos) << *text;
}

}  // namespace
}  // namespace tavrel
