// Against real desktop services: run by run_desktop_services_test.sh on a private session bus with
// a notification server (dunst, started by bus activation) under a private X server. Skipped
// anywhere else.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QProcess>

#include <chrono>
#include <functional>
#include <vector>

#include "desktop/freedesktop_notification_center.h"
#include "desktop/global_hot_key_controller.h"
#include "desktop/system_clipboard.h"
#include "desktop/system_transfer_notifier.h"
#include "ui/qt_main_queue.h"

namespace tavrel {
namespace {

std::vector<std::string>& logLines() {
  static std::vector<std::string> lines;
  return lines;
}

// Waits for another process (the notification server, the X server) to answer; the event loop
// keeps running so that answers reach us.
bool processEventsUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

// Runs a tool to its end while our own event loop keeps answering (the X server may ask us for the
// clipboard meanwhile). Returns its exit code, or -1.
int run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = {}) {
  QProcess process;
  if (!environment.isEmpty()) process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(program, arguments);
  if (!process.waitForStarted()) return -1;
  if (!processEventsUntil([&] { return process.state() == QProcess::NotRunning; })) {
    process.kill();
    process.waitForFinished();
    return -1;
  }
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

class DesktopServicesIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("TAVREL_REQUIRE_DESKTOP_SERVICES")) {
      GTEST_SKIP() << "needs the private bus and X server of run_desktop_services_test.sh";
    }
    logLines().clear();
    previousSink = platform::Logger::setSink([](platform::LogLevel, std::string_view line) { logLines().emplace_back(line); });
  }
  void TearDown() override {
    if (previousSink) platform::Logger::setSink(previousSink);
  }

  platform::Logger::Sink previousSink = nullptr;
};

NotificationRequest requestFor(std::string identifier) {
  NotificationRequest request;
  request.identifier = identifier;
  request.title = "Transfer completed";
  // Distinct bodies: the server folds identical notifications into one.
  request.body = "<i>" + identifier + "</i> is ready to share.";
  request.userInfo = {{"tavrel.outcome", "completed"}};
  return request;
}

TEST_F(DesktopServicesIntegrationTest, NotificationServerShowsReplacesForgetsAndAnswersClicks) {
  auto center = std::make_shared<FreedesktopNotificationCenter>();
  int answered = 0;
  std::vector<std::optional<std::string>> errors;
  const auto record = [&](std::optional<std::string> error) {
    errors.push_back(std::move(error));
    ++answered;
  };

  center->requestAuthorization(record);
  ASSERT_TRUE(processEventsUntil([&] { return answered == 1; }));
  ASSERT_EQ(errors[0], std::nullopt);

  // Two requests for one identifier, sent back to back: one notification, replaced.
  center->add(requestFor("tavrel.transfer.same.completed"), record);
  center->add(requestFor("tavrel.transfer.same.completed"), record);
  ASSERT_TRUE(processEventsUntil([&] { return answered == 3; }));
  EXPECT_EQ(errors[1], std::nullopt);
  EXPECT_EQ(errors[2], std::nullopt);
  EXPECT_EQ(center->rememberedCount(), 1u);
  QProcess count;
  count.start(QStringLiteral("dunstctl"), {QStringLiteral("count"), QStringLiteral("displayed")});
  ASSERT_TRUE(count.waitForFinished());
  EXPECT_EQ(count.readAllStandardOutput().trimmed(), "1");

  // Closed by the server: forgotten.
  ASSERT_EQ(run(QStringLiteral("dunstctl"), {QStringLiteral("close-all")}), 0);
  ASSERT_TRUE(processEventsUntil([&] { return center->rememberedCount() == 0; }));

  // A click on a result notification comes back as its response.
  SystemTransferNotifier notifier(center);
  std::vector<TransferNotificationResponse> responses;
  notifier.setResponseHandler([&](const TransferNotificationResponse& response) { responses.push_back(response); });
  const auto runID = UploadRunID::generate();
  notifier.requestAuthorizationIfNeeded();
  notifier.notify({TransferNotification::Outcome::completed, runID, "Holiday <b>photos</b>", "t-42"});
  const auto identifier = SystemTransferNotifier::makeRequest({TransferNotification::Outcome::completed, runID, "", {}}).identifier;
  ASSERT_TRUE(processEventsUntil([&] { return center->serverID(identifier).has_value(); }));
  ASSERT_EQ(run(QStringLiteral("dunstctl"), {QStringLiteral("action"), QStringLiteral("0")}), 0);
  ASSERT_TRUE(processEventsUntil([&] { return !responses.empty(); }));
  EXPECT_EQ(responses[0], TransferNotificationResponse(transfer_notification_response::Completed{runID, "t-42"}));
  EXPECT_TRUE(logLines().empty());

  // The map of our notifications stays small however many the server keeps.
  const int before = answered;
  for (int i = 0; i < 40; ++i) center->add(requestFor("tavrel.transfer.n" + std::to_string(i) + ".failed"), record);
  ASSERT_TRUE(processEventsUntil([&] { return answered == before + 40; }));
  EXPECT_EQ(center->rememberedCount(), FreedesktopNotificationCenter::maximumRememberedNotifications);
  EXPECT_TRUE(center->serverID("tavrel.transfer.n39.failed"));
  EXPECT_FALSE(center->serverID("tavrel.transfer.n0.failed"));
  run(QStringLiteral("dunstctl"), {QStringLiteral("close-all")});
}

TEST_F(DesktopServicesIntegrationTest, HotKeyFiresOnThePressAndASecondGrabFails) {
  ui::QtMainQueue queue;
  int pressed = 0;
  auto controller = std::make_unique<GlobalHotKeyController>(queue, [&] { ++pressed; });
  controller->registerHotKey();
  ASSERT_TRUE(controller->isHotKeyRegistered());

  ASSERT_EQ(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+super+m")}), 0);
  ASSERT_TRUE(processEventsUntil([&] { return pressed == 1; }));
  // Another key with the same modifiers is not ours.
  ASSERT_EQ(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+super+n"),
                                            QStringLiteral("ctrl+super+m")}),
            0);
  ASSERT_TRUE(processEventsUntil([&] { return pressed == 2; }));
  // With Num Lock and Caps Lock on, the same keys still reach us.
  ASSERT_EQ(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Num_Lock"), QStringLiteral("Caps_Lock"),
                                            QStringLiteral("ctrl+super+m"), QStringLiteral("Num_Lock"),
                                            QStringLiteral("Caps_Lock")}),
            0);
  ASSERT_TRUE(processEventsUntil([&] { return pressed == 3; }));

  // Another client already holds the key: the registration fails and says why (each press above
  // left a debug line of its own).
  logLines().clear();
  GlobalHotKeyController second(queue, [] {});
  second.registerHotKey();
  EXPECT_TRUE(second.isHandlerInstalled());
  EXPECT_FALSE(second.isHotKeyRegistered());
  ASSERT_EQ(logLines().size(), 1u);
  EXPECT_NE(logLines()[0].find("Tavrel could not register ⌃⌘M: 10"), std::string::npos) << logLines()[0];

  // Releasing the first gives the key back.
  controller.reset();
  GlobalHotKeyController third(queue, [] {});
  third.registerHotKey();
  EXPECT_TRUE(third.isHotKeyRegistered());
}

TEST_F(DesktopServicesIntegrationTest, ClipboardHoldsTheLinkForAnotherClient) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  SystemClipboard().write("https://app.example.com/dl/abc");
  auto environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("TAVREL_CLIPBOARD_EXPECTED"), QStringLiteral("https://app.example.com/dl/abc"));
  EXPECT_EQ(run(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DesktopServicesIntegrationTest.ReadTheClipboardFromAnotherProcess")},
                environment),
            0);
}

// The other client of the test above; skipped unless it started this process.
TEST_F(DesktopServicesIntegrationTest, ReadTheClipboardFromAnotherProcess) {
  const auto expected = qEnvironmentVariable("TAVREL_CLIPBOARD_EXPECTED");
  if (expected.isEmpty()) GTEST_SKIP() << "started by ClipboardHoldsTheLinkForAnotherClient";
  EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Clipboard), expected);
  EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection), expected);
}

}  // namespace
}  // namespace tavrel
