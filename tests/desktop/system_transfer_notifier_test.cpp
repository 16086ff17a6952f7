#include "desktop/system_transfer_notifier.h"

#include <gtest/gtest.h>

#include <vector>

#include "desktop/freedesktop_notification_center.h"

namespace tavrel {
namespace {

std::vector<std::string>& logLines() {
  static std::vector<std::string> lines;
  return lines;
}

// Records what the notifier asks and answers only when the test says so.
class FakeNotificationCenter final : public UserNotificationCenter {
 public:
  std::vector<Completion> authorizationRequests;
  std::vector<std::pair<NotificationRequest, Completion>> added;
  ResponseHandler handler;

  void requestAuthorization(Completion completion) override { authorizationRequests.push_back(std::move(completion)); }
  void add(NotificationRequest request, Completion completion) override {
    added.emplace_back(std::move(request), std::move(completion));
  }
  void setResponseHandler(ResponseHandler responseHandler) override { handler = std::move(responseHandler); }

  std::vector<std::string> addedIdentifiers() const {
    std::vector<std::string> identifiers;
    for (const auto& [request, completion] : added) identifiers.push_back(request.identifier);
    return identifiers;
  }
};

const auto runA = *UploadRunID::parse("0F8FAD5B-D9CB-469F-A165-70867728950E");
const auto runB = *UploadRunID::parse("7C9E6679-7425-40DE-944B-E07FC1F90AE7");

TransferNotification completed(UploadRunID run, std::string title, std::optional<std::string> transferID = "t-1") {
  return {TransferNotification::Outcome::completed, run, std::move(title), std::move(transferID)};
}
TransferNotification failed(UploadRunID run, std::string title) {
  return {TransferNotification::Outcome::failed, run, std::move(title), std::nullopt};
}

class SystemTransferNotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logLines().clear();
    previousSink = platform::Logger::setSink([](platform::LogLevel, std::string_view line) { logLines().emplace_back(line); });
  }
  void TearDown() override { platform::Logger::setSink(previousSink); }

  std::shared_ptr<FakeNotificationCenter> center = std::make_shared<FakeNotificationCenter>();
  platform::Logger::Sink previousSink = nullptr;
};

TEST_F(SystemTransferNotifierTest, RequestsCarryTheResultsTextsIdentifierAndUserInfo) {
  const auto done = SystemTransferNotifier::makeRequest(completed(runA, "Dad’s \"photos\""));
  EXPECT_EQ(done.title, "Transfer completed");
  EXPECT_EQ(done.body, "Dad’s \"photos\" is ready to share.");
  EXPECT_EQ(done.identifier, "tavrel.transfer.0f8fad5b-d9cb-469f-a165-70867728950e.completed");
  EXPECT_EQ(done.categoryIdentifier, "tavrel.transfer.result");
  EXPECT_TRUE(done.playsDefaultSound);
  EXPECT_EQ(done.userInfo, (NotificationUserInfo{{"tavrel.outcome", "completed"},
                                                 {"tavrel.run-id", "0F8FAD5B-D9CB-469F-A165-70867728950E"},
                                                 {"tavrel.transfer-id", "t-1"}}));

  const auto lost = SystemTransferNotifier::makeRequest(failed(runA, "Kid's drawings"));
  EXPECT_EQ(lost.title, "Transfer failed");
  EXPECT_EQ(lost.body, "Kid's drawings couldn’t be uploaded. Open Tavrel to retry.");
  EXPECT_EQ(lost.identifier, "tavrel.transfer.0f8fad5b-d9cb-469f-a165-70867728950e.failed");
  EXPECT_FALSE(lost.userInfo.contains("tavrel.transfer-id"));

  // Same run and outcome: same identifier, so the second replaces the first.
  EXPECT_EQ(SystemTransferNotifier::makeRequest(completed(runA, "other", std::nullopt)).identifier, done.identifier);
  EXPECT_NE(SystemTransferNotifier::makeRequest(completed(runB, "x")).identifier, done.identifier);
}

TEST_F(SystemTransferNotifierTest, NotificationsWaitForTheOnePermissionRequest) {
  SystemTransferNotifier notifier(center);
  // Before any permission request nothing waits.
  notifier.notify(failed(runA, "early"));
  EXPECT_EQ(center->added.size(), 1u);

  notifier.requestAuthorizationIfNeeded();
  notifier.notify(completed(runA, "one"));
  notifier.requestAuthorizationIfNeeded();
  notifier.notify(completed(runB, "two"));
  EXPECT_EQ(center->authorizationRequests.size(), 1u);
  EXPECT_EQ(center->added.size(), 1u);

  center->authorizationRequests[0](std::nullopt);
  EXPECT_EQ(center->addedIdentifiers(),
            (std::vector<std::string>{"tavrel.transfer.0f8fad5b-d9cb-469f-a165-70867728950e.failed",
                                      "tavrel.transfer.0f8fad5b-d9cb-469f-a165-70867728950e.completed",
                                      "tavrel.transfer.7c9e6679-7425-40de-944b-e07fc1f90ae7.completed"}));
  // Asked once per process, whatever the answer.
  notifier.requestAuthorizationIfNeeded();
  notifier.notify(failed(runB, "later"));
  EXPECT_EQ(center->authorizationRequests.size(), 1u);
  EXPECT_EQ(center->added.size(), 4u);
  EXPECT_TRUE(logLines().empty());
}

TEST_F(SystemTransferNotifierTest, FailuresAreLoggedPrivatelyAndDroppedWithoutStoppingDelivery) {
  SystemTransferNotifier notifier(center);
  notifier.requestAuthorizationIfNeeded();
  notifier.notify(completed(runA, "secret title"));
  center->authorizationRequests[0]("The name org.freedesktop.Notifications was not provided by any .service files");
  ASSERT_EQ(center->added.size(), 1u);
  center->added[0].second("no server");
  ASSERT_EQ(logLines().size(), 2u);
  EXPECT_NE(logLines()[0].find("Notification authorization failed: <private>"), std::string::npos);
  EXPECT_NE(logLines()[1].find("Notification delivery failed: <private>"), std::string::npos);
}

TEST_F(SystemTransferNotifierTest, AnswersAfterTheNotifierIsGoneAreDropped) {
  auto notifier = std::make_unique<SystemTransferNotifier>(center);
  notifier->requestAuthorizationIfNeeded();
  notifier->notify(completed(runA, "x"));
  notifier.reset();
  center->authorizationRequests[0](std::nullopt);
  EXPECT_TRUE(center->added.empty());
}

TEST_F(SystemTransferNotifierTest, ClicksReadBackAsResponses) {
  SystemTransferNotifier notifier(center);
  std::vector<TransferNotificationResponse> responses;
  notifier.setResponseHandler([&](const TransferNotificationResponse& response) { responses.push_back(response); });
  ASSERT_TRUE(center->handler);
  center->handler(transferNotificationUserInfo(completed(runA, "x", "t-9")));
  center->handler(transferNotificationUserInfo(completed(runB, "x", std::nullopt)));
  center->handler(transferNotificationUserInfo(failed(runB, "x")));
  center->handler({{"tavrel.outcome", "paused"}, {"tavrel.run-id", runA.toString()}});
  EXPECT_EQ(responses, (std::vector<TransferNotificationResponse>{
                           transfer_notification_response::Completed{runA, "t-9"},
                           transfer_notification_response::Completed{runB, std::nullopt},
                           transfer_notification_response::Failed{runB}}));
}

TEST(TransferNotificationResponseTest, ParsesOnlyOurUserInfo) {
  using nlohmann::json;
  const auto lower = json{{"tavrel.outcome", "completed"}, {"tavrel.run-id", "0f8fad5b-d9cb-469f-a165-70867728950e"},
                          {"tavrel.transfer-id", ""}};
  EXPECT_EQ(transferNotificationResponse(lower), TransferNotificationResponse(transfer_notification_response::Completed{runA, ""}));
  // A failed one ignores whatever transfer identity it carries.
  EXPECT_EQ(transferNotificationResponse(json{{"tavrel.outcome", "failed"}, {"tavrel.run-id", runA.toString()},
                                              {"tavrel.transfer-id", 5}}),
            TransferNotificationResponse(transfer_notification_response::Failed{runA}));
  for (const auto& userInfo : {
           json{{"tavrel.outcome", "completed"}, {"tavrel.run-id", runA.toString()}, {"tavrel.transfer-id", 42}},
           json{{"tavrel.outcome", "completed"}, {"tavrel.run-id", runA.toString()}, {"tavrel.transfer-id", nullptr}},
           json{{"tavrel.outcome", "Completed"}, {"tavrel.run-id", runA.toString()}},
           json{{"tavrel.outcome", 1}, {"tavrel.run-id", runA.toString()}},
           json{{"tavrel.run-id", runA.toString()}},
           json{{"tavrel.outcome", "failed"}},
           json{{"tavrel.outcome", "failed"}, {"tavrel.run-id", "not-a-uuid"}},
           json{{"tavrel.outcome", "failed"}, {"tavrel.run-id", json::array({runA.toString()})}},
           json::array({"tavrel.outcome", "failed"}),
       }) {
    EXPECT_FALSE(transferNotificationResponse(userInfo)) << userInfo.dump();
  }
}

TEST(FreedesktopNotificationCenterTest, BodiesAreEscapedUntilTheServerIsKnownNotToReadMarkup) {
  // No bus in this test: the center is only asked how it would write a body.
  FreedesktopNotificationCenter center(QDBusConnection(QStringLiteral("unconnected")));
  EXPECT_EQ(center.bodyText("<a href=\"https://evil.example\">Q&A</a> is ready to share.").toStdString(),
            "&lt;a href=&quot;https://evil.example&quot;&gt;Q&amp;A&lt;/a&gt; is ready to share.");
}

}  // namespace
}  // namespace tavrel
