#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "desktop/global_hot_key_controller.h"
#include "desktop/system_launch_at_login_service.h"
#include "desktop/workspace_link_opener.h"
#include "platform/logger.h"
#include "platform/manual_main_queue.h"

namespace tavrel {
namespace {

class RecordingBrowser final : public platform::BrowserLaunching {
 public:
  std::vector<std::string> opened;
  void open(const platform::Url& url, std::function<void(bool)>) override { opened.push_back(url.toString()); }
};

TEST(DesktopOpeningTest, LinksAndTheAutostartFolderGoToTheDesktopsOpener) {
  auto browser = std::make_shared<RecordingBrowser>();
  WorkspaceLinkOpener opener(ApplicationLinks{*platform::Url::parse("https://app.example.com")}, browser);
  opener.open(opener.links().transferURL("42"));

  ::unsetenv("XDG_CURRENT_DESKTOP");  // no desktop whose own settings we know
  SystemLaunchAtLoginService loginItems("/home/a b/.config/autostart", "/usr/bin/tavrel", browser);
  loginItems.openLoginItemsSettings();
  EXPECT_EQ(browser->opened,
            (std::vector<std::string>{"https://app.example.com/transfers/42", "file:///home/a%20b/.config/autostart"}));
}

TEST(DesktopOpeningTest, AutostartSettingsAreKnownOnPlasmaOnly) {
  const std::vector<std::string> plasma{"systemsettings", "kcm_autostart"};
  EXPECT_EQ(SystemLaunchAtLoginService::settingsCommand("KDE"), plasma);
  EXPECT_EQ(SystemLaunchAtLoginService::settingsCommand("ubuntu:KDE"), plasma);
  EXPECT_TRUE(SystemLaunchAtLoginService::settingsCommand("ubuntu:GNOME").empty());
  EXPECT_TRUE(SystemLaunchAtLoginService::settingsCommand("KDEX").empty());
  EXPECT_TRUE(SystemLaunchAtLoginService::settingsCommand("").empty());
}

std::vector<std::string>& logLines() {
  static std::vector<std::string> lines;
  return lines;
}

// Registers the hot key once and returns what was logged; nothing may be installed or registered.
std::vector<std::string> logOfAFailedRegistration() {
  logLines().clear();
  const auto previous =
      platform::Logger::setSink([](platform::LogLevel, std::string_view line) { logLines().emplace_back(line); });
  platform::ManualMainQueue queue;
  {
    GlobalHotKeyController controller(queue, [] {});
    controller.registerHotKey();
    EXPECT_FALSE(controller.isHandlerInstalled());
    EXPECT_FALSE(controller.isHotKeyRegistered());
  }
  platform::Logger::setSink(previous);
  return logLines();
}

// Sets an environment variable for one scope and puts back what was there.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (saved_) ::setenv(name_, saved_->c_str(), 1);
    else ::unsetenv(name_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(GlobalHotKeyControllerTest, WithoutADisplayThereIsNoShortcutAndTheLogSaysSo) {
  const ScopedVariable display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr),
      session("XDG_SESSION_TYPE", nullptr);
  const auto log = logOfAFailedRegistration();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("Tavrel could not install its keyboard shortcut handler: 1"), std::string::npos) << log[0];
}

TEST(GlobalHotKeyControllerTest, AWaylandSessionIsToldByEitherVariable) {
  EXPECT_TRUE(isWaylandSession("wayland-0", "x11"));
  EXPECT_TRUE(isWaylandSession("", "wayland"));  // started by the session without WAYLAND_DISPLAY
  EXPECT_FALSE(isWaylandSession("", "x11"));
  EXPECT_FALSE(isWaylandSession(nullptr, nullptr));
}

TEST(GlobalHotKeyControllerTest, UnderWaylandNothingIsGrabbedThroughXWaylandAndTheLogSaysSo) {
  // The status says no X connection was tried, whatever DISPLAY holds (XWayland sets one).
  const ScopedVariable wayland("WAYLAND_DISPLAY", "wayland-0");
  const auto log = logOfAFailedRegistration();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find("Tavrel could not install its keyboard shortcut handler: -1"), std::string::npos)
      << log.back();
}

}  // namespace
}  // namespace tavrel
