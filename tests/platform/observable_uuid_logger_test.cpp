#include <gtest/gtest.h>

#include "platform/logger.h"
#include "platform/observable.h"
#include "platform/uuid.h"

using namespace tavrel::platform;

TEST(ObservableTest, DeliversCurrentValueThenChangesUntilUnsubscribed) {
  Observable<int> value(1);
  std::vector<int> seen;
  auto subscription = value.subscribe([&](const int& v) { seen.push_back(v); });
  value.set(2);
  value.set(2);
  subscription.reset();
  value.set(3);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 2}));
}

TEST(ObservableTest, RemovesDuplicatesWhenAsked) {
  Observable<int> value(1);
  std::vector<int> seen;
  auto subscription = value.subscribe([&](const int& v) { seen.push_back(v); }, Delivery::removeDuplicates);
  value.set(1);
  value.set(2);
  value.set(2);
  value.set(1);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 1}));
}

TEST(ObservableTest, ObserverEndedDuringNotificationIsNotCalled) {
  Observable<int> value(0);
  Subscription second;
  int secondCalls = 0;
  auto first = value.subscribe([&](const int& v) {
    if (v == 1) second.reset();
  });
  second = value.subscribe([&](const int&) { ++secondCalls; });
  value.set(1);
  EXPECT_EQ(secondCalls, 1);  // only the initial delivery
}

TEST(ObservableTest, SubscriptionMayOutliveObservable) {
  Subscription subscription;
  {
    Observable<int> value(0);
    subscription = value.subscribe([](const int&) {});
  }
  subscription.reset();  // must not touch freed state
  SUCCEED();
}

TEST(UuidTest, GeneratesVersion4AndRoundTripsUpperCase) {
  const Uuid uuid = Uuid::generate();
  const std::string text = uuid.toString();
  ASSERT_EQ(text.size(), 36u);
  EXPECT_EQ(text[14], '4');
  EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
  EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos);
  EXPECT_EQ(Uuid::parse(text), uuid);
  EXPECT_NE(Uuid::generate(), uuid);
}

TEST(UuidTest, ParsesEitherCaseAndRefusesMalformedText) {
  const auto lower = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",
                          "E621E1F8+C36C-495A-93FC-0C247A3E6E5F", "{621E1F8-C36C-495A-93FC-0C247A3E6E5F}"}) {
    EXPECT_FALSE(Uuid::parse(bad)) << bad;
  }
}

TEST(LoggerTest, PrivateArgumentsAreRedactedAndNumbersAreNot) {
  EXPECT_EQ(Logger::render("Upload failed: {} ({} files)", {LogArg("secret token"), LogArg(3)}, false),
            "Upload failed: <private> (3 files)");
  EXPECT_EQ(Logger::render("code {}", {publicArg("E42")}, false), "code E42");
  EXPECT_EQ(Logger::render("x {}", {LogArg("shown")}, true), "x shown");
  EXPECT_EQ(Logger::render("{} {}", {LogArg(1)}, false), "1 ");
}

namespace {
template <typename Text>
concept UsableAsLogFormat = requires(const Logger& logger, Text text) { logger.error(text); };

std::vector<std::string>& capturedLines() {
  static std::vector<std::string> lines;
  return lines;
}
}  // namespace

// What a caller writes, not just what render() makes of it: a string reaches the log only as a
// redacted argument, and never as the message itself.
TEST(LoggerTest, StringsReachTheLogRedactedUnlessMarkedPublic) {
  if (Logger::privateLoggingEnabled()) GTEST_SKIP() << "private logging is switched on in this environment";
  static_assert(!UsableAsLogFormat<std::string>);
  static_assert(!UsableAsLogFormat<const char*>);
  static_assert(!UsableAsLogFormat<std::string_view>);

  capturedLines().clear();
  const auto previous = Logger::setSink([](LogLevel, std::string_view line) { capturedLines().emplace_back(line); });
  const Logger logger("com.tavrel.desktop", "Test");
  const std::string token = "refresh-secret";
  const char* raw = "raw-secret";
  logger.error("Refresh failed: {} {} {} after {} tries", token, raw, std::string_view(token), 2);
  logger.info("Shown: {}", publicArg("E42"));
  Logger::setSink(previous);

  ASSERT_EQ(capturedLines().size(), 2u);
  EXPECT_EQ(capturedLines()[0], "[com.tavrel.desktop:Test] error: Refresh failed: <private> <private> <private> after 2 tries");
  EXPECT_EQ(capturedLines()[1], "[com.tavrel.desktop:Test] info: Shown: E42");
}
