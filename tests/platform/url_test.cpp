#include "platform/url.h"

#include <gtest/gtest.h>

namespace tavrel::platform {
namespace {

TEST(UrlTest, ParsesEveryPartAndWritesItBackUnchanged) {
  const auto url = Url::parse("HTTPS://user:pw@Example.COM:8443/a/b%20c?x=1&y#frag");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme(), "https");
  EXPECT_EQ(url->userInfo(), "user:pw");
  EXPECT_EQ(url->host(), "Example.COM");
  EXPECT_EQ(url->port(), 8443);
  EXPECT_EQ(url->path(), "/a/b%20c");
  EXPECT_EQ(url->query(), "x=1&y");
  EXPECT_EQ(url->fragment(), "frag");
  EXPECT_EQ(url->toString(), "https://user:pw@Example.COM:8443/a/b%20c?x=1&y#frag");
}

TEST(UrlTest, KeepsAbsentAndEmptyPartsApart) {
  const auto bare = Url::parse("https://example.com");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->path(), "");
  EXPECT_FALSE(bare->query());
  EXPECT_FALSE(bare->port());
  EXPECT_FALSE(bare->userInfo());

  const auto emptyQuery = Url::parse("https://example.com/?#");
  ASSERT_TRUE(emptyQuery);
  EXPECT_EQ(emptyQuery->query(), "");
  EXPECT_EQ(emptyQuery->fragment(), "");
  EXPECT_EQ(emptyQuery->toString(), "https://example.com/?#");

  // An empty port means the scheme's default and is dropped.
  const auto emptyPort = Url::parse("https://example.com:/x");
  ASSERT_TRUE(emptyPort);
  EXPECT_FALSE(emptyPort->port());
  EXPECT_EQ(emptyPort->toString(), "https://example.com/x");
}

TEST(UrlTest, StripsIPv6BracketsFromTheHostAndWritesThemBack) {
  const auto url = Url::parse("http://[::1]:8080/p");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host(), "::1");
  EXPECT_TRUE(url->isIPv6Host());
  EXPECT_EQ(url->port(), 8080);
  EXPECT_EQ(url->toString(), "http://[::1]:8080/p");
  EXPECT_FALSE(Url::parse("http://[::1/p"));
  EXPECT_FALSE(Url::parse("http://[::1]x/p"));
  EXPECT_FALSE(Url::parse("http://[fe80::1%25eth0]/"));
  EXPECT_EQ(Url::parse("https://[::FFFF:192.0.2.1]/")->host(), "::FFFF:192.0.2.1");
  // Only addresses that are IPv6 addresses, not any run of hexadecimal digits and colons.
  for (const char* text : {"http://[]/", "http://[:::]/", "http://[1::2::3]/", "http://[1:2:3:4:5:6:7:8:9]/",
                           "http://[12345::1]/", "http://[1.2.3.4::]/", "http://[::1.2.3]/"}) {
    EXPECT_FALSE(Url::parse(text)) << text;
  }
}

TEST(UrlTest, SetHostThatFailsChangesNothing) {
  auto opaque = *Url::parse("mailto:someone");
  EXPECT_FALSE(opaque.setHost("::1"));
  EXPECT_FALSE(opaque.isIPv6Host());
  EXPECT_EQ(opaque, *Url::parse("mailto:someone"));

  auto url = *Url::parse("https://[::1]/x");
  EXPECT_FALSE(url.setHost("1::2::3"));
  EXPECT_FALSE(url.setHost("a b"));
  EXPECT_EQ(url.toString(), "https://[::1]/x");
  EXPECT_TRUE(url.setHost("tavrel.test"));
  EXPECT_EQ(url.toString(), "https://tavrel.test/x");
}

TEST(UrlTest, ParsesAddressesWithoutAuthority) {
  const auto url = Url::parse("com.tavrel.macos:/oauth/callback?code=a");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme(), "com.tavrel.macos");
  EXPECT_FALSE(url->hasAuthority());
  EXPECT_EQ(url->host(), "");
  EXPECT_EQ(url->path(), "/oauth/callback");
  EXPECT_EQ(url->toString(), "com.tavrel.macos:/oauth/callback?code=a");
}

TEST(UrlTest, RefusesUnsafeOrMalformedText) {
  for (const char* text : {
           "", "example.com", "://x", "1http://x", "ht tp://x", "https://exa mple.com/", "https://example.com/a b",
           "https://example.com/\r\nHost: evil", "https://example.com/\t", "https://example.com/%", "https://example.com/%4",
           "https://example.com/%G0", "https://example.com/?q=%zz", "https://example.com:65536/", "https://example.com:8a/",
           "https://exa<mple.com/", "https://example.com/\"", "https://example.com/caf\xC3\xA9", "https://a@b@c/",
           "https://example.com/\x7F", " https://example.com/", "https://example.com/\\",
       }) {
    EXPECT_FALSE(Url::parse(text)) << text;
  }
}

TEST(UrlTest, OriginLowerCasesAndFillsInDefaultPorts) {
  EXPECT_EQ(Url::parse("HTTPS://Example.COM/x")->origin(), (UrlOrigin{"https", "example.com", 443}));
  EXPECT_EQ(Url::parse("http://example.com/x")->origin(), (UrlOrigin{"http", "example.com", 80}));
  EXPECT_EQ(Url::parse("ftp://example.com/x")->origin(), (UrlOrigin{"ftp", "example.com", std::nullopt}));
  EXPECT_EQ(Url::parse("https://example.com:8443")->origin().port, 8443);
}

TEST(UrlTest, SettersRefuseTextThatWouldChangeTheShape) {
  auto url = *Url::parse("https://example.com/old?q=1");
  EXPECT_FALSE(url.setPath("relative"));
  EXPECT_FALSE(url.setPath("/a?b"));
  EXPECT_FALSE(url.setPath("/a#b"));
  EXPECT_FALSE(url.setPath("/%2"));
  EXPECT_EQ(url.path(), "/old");
  EXPECT_TRUE(url.setPath("/new/%2E%2E"));
  EXPECT_FALSE(url.setQuery("a#b"));
  EXPECT_TRUE(url.setQuery(std::nullopt));
  EXPECT_EQ(url.toString(), "https://example.com/new/%2E%2E");

  auto opaque = *Url::parse("mailto:someone");
  EXPECT_FALSE(opaque.setPath("//host/x"));
}

TEST(UrlTest, QueryItemsDecodeInOrderKeepingRepeatedNames) {
  const auto url = Url::parse("https://x.test/cb?code=a%20b&state=s&code=2&flag&&empty=&plus=a+b");
  ASSERT_TRUE(url);
  const std::vector<QueryItem> expected = {
      {"code", "a b"}, {"state", "s"}, {"code", "2"}, {"flag", std::nullopt}, {"empty", ""}, {"plus", "a+b"}};
  EXPECT_EQ(url->queryItems(), expected);
}

TEST(UrlTest, WithQueryItemsEncodesWhatWouldSplitTheQuery) {
  const auto base = *Url::parse("https://x.test/authorize?old=1#f");
  const auto url = base.withQueryItems({{"redirect_uri", "app:/cb"}, {"scope", "a b"}, {"v", "1&2=3+4#5%"}, {"é", "ü"}});
  EXPECT_EQ(url.toString(), "https://x.test/authorize?redirect_uri=app:/cb&scope=a%20b&v=1%262%3D3%2B4%235%25&%C3%A9=%C3%BC#f");
  EXPECT_EQ(Url::parse(url.toString())->queryItems()[2].value, "1&2=3+4#5%");

  const auto strict = base.withQueryItems({{"redirect_uri", "app:/cb"}}, CharacterSet::unreserved());
  EXPECT_EQ(strict.query(), "redirect_uri=app%3A%2Fcb");
  EXPECT_FALSE(base.withQueryItems({}).query());
}

TEST(PercentEncodingTest, EncodesEveryByteOutsideTheSetUpperCase) {
  EXPECT_EQ(percentEncode("aZ09-._~", CharacterSet::unreserved()), "aZ09-._~");
  EXPECT_EQ(percentEncode("a b/c:d+e?", CharacterSet::unreserved()), "a%20b%2Fc%3Ad%2Be%3F");
  EXPECT_EQ(percentEncode("\xC3\xA9\xFF", CharacterSet::unreserved()), "%C3%A9%FF");
  EXPECT_EQ(percentEncode(std::string("a\0b", 3), CharacterSet::unreserved()), "a%00b");
  EXPECT_EQ(percentDecode("%C3%a9%2F+"), "\xC3\xA9/+");
  EXPECT_FALSE(percentDecode("%"));
  EXPECT_FALSE(percentDecode("ab%2"));
  EXPECT_FALSE(percentDecode("%x1"));
}

}  // namespace
}  // namespace tavrel::platform
