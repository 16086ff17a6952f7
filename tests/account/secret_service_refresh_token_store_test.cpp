#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <cstdlib>

#include "account/secret_service_refresh_token_store.h"
#include "platform/uuid.h"

namespace tavrel {
namespace {

using platform::Url;

TEST(RefreshTokenAccountNameTest, IsTheLowerCasedOriginWithoutPath) {
  EXPECT_EQ(SecretServiceRefreshTokenStore::account(*Url::parse("HTTPS://App.Tavrel.TEST/Team/Sub/?q=1#f")),
            "oauth-refresh-token:https://app.tavrel.test");
  EXPECT_EQ(SecretServiceRefreshTokenStore::account(*Url::parse("https://app.tavrel.test:8443/")),
            "oauth-refresh-token:https://app.tavrel.test:8443");
}

// Runs against the desktop's real Secret Service. The wrapper script starts a private one and sets
// TAVREL_REQUIRE_SECRET_SERVICE, so CI never skips it; elsewhere it skips when none is reachable.
class SecretServiceRefreshTokenStoreIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto probe = store.read();
    if (!probe) {
      if (std::getenv("TAVREL_REQUIRE_SECRET_SERVICE")) FAIL() << "the Secret Service is not reachable";
      GTEST_SKIP() << "no Secret Service reachable";
    }
  }
  void TearDown() override {
    (void)store.deleteToken();
    (void)otherOrigin.deleteToken();
  }

  std::size_t itemCount(const SecretServiceRefreshTokenStore& target) {
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char*>("service"), const_cast<char*>(target.service().c_str()));
    g_hash_table_insert(attributes, const_cast<char*>("account"), const_cast<char*>(target.account().c_str()));
    const SecretSchema* schema = nullptr;  // any schema: stray items of ours would show up too
    GError* error = nullptr;
    GList* items = secret_password_searchv_sync(schema, attributes, SECRET_SEARCH_ALL, nullptr, &error);
    g_hash_table_unref(attributes);
    EXPECT_EQ(error, nullptr);
    if (error) g_error_free(error);
    const auto count = static_cast<std::size_t>(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
  }

  // A service name of its own, so that a developer's real token is never touched.
  const std::string service = "com.tavrel.desktop.tests." + platform::Uuid::generate().toString();
  SecretServiceRefreshTokenStore store{*Url::parse("https://app.tavrel.test/"), service};
  SecretServiceRefreshTokenStore otherOrigin{*Url::parse("https://other.tavrel.test/"), service};
};

TEST_F(SecretServiceRefreshTokenStoreIntegrationTest, RoundTripsOneTokenPerOrigin) {
  auto missing = store.read();
  ASSERT_TRUE(missing);
  EXPECT_EQ(*missing, std::nullopt);
  EXPECT_TRUE(store.deleteToken());

  ASSERT_TRUE(store.save("first-token"));
  ASSERT_TRUE(store.save("second-token"));
  ASSERT_TRUE(otherOrigin.save("other-token"));
  EXPECT_EQ(itemCount(store), 1u);

  auto stored = store.read();
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, std::optional<std::string>("second-token"));
  auto other = otherOrigin.read();
  ASSERT_TRUE(other);
  EXPECT_EQ(*other, std::optional<std::string>("other-token"));

  ASSERT_TRUE(store.deleteToken());
  auto deleted = store.read();
  ASSERT_TRUE(deleted);
  EXPECT_EQ(*deleted, std::nullopt);
  EXPECT_EQ(*otherOrigin.read(), std::optional<std::string>("other-token"));
}

// An item that is not text can never be a token: it goes, and the store reads none (so the user is
// asked to sign in), instead of failing as an unreachable keyring on every try.
TEST_F(SecretServiceRefreshTokenStoreIntegrationTest, AnItemThatIsNotTextIsDeletedAndReadAsNone) {
  const platform::SecretService secrets(SecretServiceRefreshTokenStore::schemaName);
  for (const std::string& secret : {std::string("\xff\xfe token"), std::string("refresh-\0-token", 15)}) {
    SCOPED_TRACE(secret.size());
    ASSERT_TRUE(secrets.store({{"service", store.service()}, {"account", store.account()}}, "test", secret));
    ASSERT_EQ(itemCount(store), 1u);
    const auto read = store.read();
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, std::nullopt);
    EXPECT_EQ(itemCount(store), 0u);
  }
}

}  // namespace
}  // namespace tavrel
