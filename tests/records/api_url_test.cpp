#include "records/api_url.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

platform::Url url(const char* text) { return platform::Url::parse(text).value(); }

TEST(ApiURLTest, EncodesEachSegmentWithTheUnreservedSet) {
  const auto result = apiURL(url("https://tavrel.test"), {"api", "v1", "transfers", "id with blank"});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->toString(), "https://tavrel.test/api/v1/transfers/id%20with%20blank");

  const auto awkward = apiURL(url("https://tavrel.test"), {"a/b", "?#&=+:@", "caf\xC3\xA9", "-._~", "..."});
  ASSERT_TRUE(awkward);
  EXPECT_EQ(awkward->path(), "/a%2Fb/%3F%23%26%3D%2B%3A%40/caf%C3%A9/-._~/...");
}

TEST(ApiURLTest, ReplacesTheBasePathAndKeepsEverythingElse) {
  const auto result = apiURL(url("https://Tavrel.test:8443/app/?q=1#top"), {"api", "v1", "transfers"});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->toString(), "https://Tavrel.test:8443/api/v1/transfers?q=1#top");

  const auto withUser = apiURL(url("https://user@tavrel.test/app/"), {"x"});
  EXPECT_EQ(withUser->toString(), "https://user@tavrel.test/x");
}

TEST(ApiURLTest, NoSegmentsGiveTheRootPath) {
  EXPECT_EQ(apiURL(url("https://tavrel.test/app"), {})->toString(), "https://tavrel.test/");
}

TEST(ApiURLTest, AnEmptySegmentAnywhereGivesNone) {
  EXPECT_FALSE(apiURL(url("https://tavrel.test"), {""}));
  EXPECT_FALSE(apiURL(url("https://tavrel.test"), {"api", "", "transfers"}));
  EXPECT_FALSE(apiURL(url("https://tavrel.test"), {"api", "v1", ""}));
  EXPECT_FALSE(apiURL(platform::Url{}, {"api"}));
}

// An identifier of "." or ".." from the service must not send the request to another endpoint
// (curl and servers fold such segments away: /api/v1/transfers/../x would become /api/v1/x).
TEST(ApiURLTest, DotSegmentsAreRefusedSoNoRequestMovesToAnotherPath) {
  EXPECT_FALSE(apiURL(url("https://tavrel.test"), {"api", "v1", "transfers", ".."}));
  EXPECT_FALSE(apiURL(url("https://tavrel.test"), {"api", "v1", "transfers", ".", "complete"}));
  EXPECT_FALSE(apiURL(url("https://tavrel.test"), {".."}));
  // Dots that are not a whole segment are ordinary characters.
  EXPECT_EQ(apiURL(url("https://tavrel.test"), {"a..b", ".x", "..."})->path(), "/a..b/.x/...");
}

}  // namespace
}  // namespace tavrel
