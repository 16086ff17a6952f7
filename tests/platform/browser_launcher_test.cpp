#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "platform/browser_launcher.h"
#include "platform/manual_main_queue.h"
#include "support/temporary_directory.h"

namespace tavrel::platform {
namespace {

std::optional<bool> openWith(const std::string& program, const std::shared_ptr<ManualMainQueue>& queue,
                             const Url& url = *Url::parse("https://app.tavrel.test/")) {
  XdgOpenBrowserLauncher launcher(queue, program);
  std::optional<bool> outcome;
  launcher.open(url, [&](bool opened) { outcome = opened; });
  queue->runUntil([&] { return outcome.has_value(); });
  return outcome;
}

TEST(XdgOpenBrowserLauncherTest, ReportsWhetherTheOpenerSucceeded) {
  auto queue = std::make_shared<ManualMainQueue>();
  EXPECT_EQ(openWith("true", queue), std::optional<bool>(true));
  EXPECT_EQ(openWith("false", queue), std::optional<bool>(false));
  EXPECT_EQ(openWith("/nonexistent/xdg-open", queue), std::optional<bool>(false));
}

TEST(XdgOpenBrowserLauncherTest, PassesTheAddressAsOneUninterpretedArgument) {
  testing::TemporaryDirectory directory;
  const auto script = directory.path() / "opener";
  const auto record = directory.path() / "argument";
  const auto marker = directory.path() / "pwned";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" << record.string() << "'\n";
  }
  ::chmod(script.c_str(), 0700);

  const std::string address = "https://app.tavrel.test/a?x=$(touch%20" + marker.string() + ")&y=;id;'q'";
  const auto url = Url::parse(address);
  ASSERT_TRUE(url);
  auto queue = std::make_shared<ManualMainQueue>();
  EXPECT_EQ(openWith(script.string(), queue, *url), std::optional<bool>(true));
  std::ifstream in(record);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "1|" + url->toString());
  EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace tavrel::platform
