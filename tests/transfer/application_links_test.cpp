#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transfer/application_links.h"

using namespace tavrel;

namespace {
ApplicationLinks linksOn(const char* address) { return ApplicationLinks{*platform::Url::parse(address)}; }
}  // namespace

TEST(ApplicationLinksTest, DownloadAndTransferPagesOnTheWebApplicationsOrigin) {
  const auto links = linksOn("https://app.example.com");
  EXPECT_EQ(links.downloadURL("abc").toString(), "https://app.example.com/dl/abc");
  EXPECT_EQ(links.transferURL("42").toString(), "https://app.example.com/transfers/42");
  // The address's own path is replaced, its port kept.
  EXPECT_EQ(linksOn("https://app.example.com:8443/app/").downloadURL("abc").toString(),
            "https://app.example.com:8443/dl/abc");
}

TEST(ApplicationLinksTest, IdentifiersStayWithinOneSegment) {
  const auto links = linksOn("https://app.example.com/");
  struct Case {
    std::string id;
    const char* link;
  };
  const std::vector<Case> cases = {
      {"a b", "https://app.example.com/dl/a%20b"},
      {"a/b", "https://app.example.com/dl/a%2Fb"},
      {"../settings", "https://app.example.com/dl/..%2Fsettings"},
      {"x?y#z", "https://app.example.com/dl/x%3Fy%23z"},
      {"\xC3\xA9t\xC3\xA9", "https://app.example.com/dl/%C3%A9t%C3%A9"},
      {"A-z_0.9~", "https://app.example.com/dl/A-z_0.9~"},
  };
  for (const Case& c : cases) EXPECT_EQ(links.downloadURL(c.id).toString(), c.link) << c.id;
}

TEST(ApplicationLinksTest, FallsBackToTheWebApplicationWhenNoLinkCanBeFormed) {
  const auto links = linksOn("https://app.example.com/");
  for (const char* id : {"", ".", ".."}) {
    EXPECT_EQ(links.downloadURL(id), links.webAppURL) << id;
    EXPECT_EQ(links.transferURL(id), links.webAppURL) << id;
  }
}
