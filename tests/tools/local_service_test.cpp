#include "local_service/local_service.h"

#include "platform/regex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "account/pkce_authorization_request.h"
#include "platform/curl_transport.h"
#include "platform/manual_main_queue.h"
#include "service/http_session.h"
#include "service/native_upload_engine.h"
#include "service/tavrel_api_client.h"
#include "support/fake_transfer_services.h"
#include "support/stand_in_service.h"
#include "support/temporary_directory.h"
#include "transfer/application_links.h"

namespace tavrel {
namespace {

using localservice::LocalService;
using namespace std::chrono_literals;

constexpr std::int64_t MiB = 1024 * 1024;

std::string contentsOf(std::int64_t size, unsigned seed) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string formEncoded(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += platform::percentEncode(name, platform::CharacterSet::unreserved()) + "=" +
            platform::percentEncode(value, platform::CharacterSet::unreserved());
  }
  return body;
}

std::map<std::string, std::string> queryOf(const platform::Url& url) {
  std::map<std::string, std::string> items;
  for (const auto& item : url.queryItems()) items[item.name] = item.value.value_or("");
  return items;
}

// The local service on a data folder of its own, reached as the program and a browser reach it:
// over HTTPS, trusting only the service's own authority, redirects handed back rather than followed.
class LocalServiceTest : public ::testing::Test {
 protected:
  LocalServiceTest() { start(); }

  void start(std::chrono::milliseconds revokeDelay = 0ms) {
    service = std::make_unique<LocalService>(
        LocalService::Options{data.path() / "service", 0, 5s, revokeDelay, webScheme, largestRequestBody, sync});
    platform::CurlTransportOptions options;
    options.certificateAuthorityFile = service->certificateAuthorityFile();
    browser = std::make_shared<platform::CurlTransport>(platform::CurlTransport::RedirectDecider{}, options);
    api = std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, options);
  }
  void restart() {
    service.reset();
    start();
  }

  platform::HttpResponse send(std::string method, const std::string& pathAndQuery, std::string body = {},
                              std::vector<platform::HttpHeader> headers = {}) {
    platform::HttpRequest request;
    request.method = std::move(method);
    request.url = *platform::Url::parse(service->webAppURL().toString() + pathAndQuery.substr(1));
    request.headers = std::move(headers);
    if (!body.empty()) request.body = std::move(body);
    auto response = browser->send(request);
    EXPECT_TRUE(response.hasValue()) << (response ? "" : response.error().message);
    return response ? *response : platform::HttpResponse{};
  }

  std::string resource() const { return service->webAppURL().toString() + "api"; }

  platform::HttpResponse openAuthorizePage(const PKCEAuthorizationRequest& pkce) {
    auto authorize = *platform::Url::parse(service->webAppURL().toString() + "api/auth/oauth2/authorize");
    authorize = authorize.withQueryItems({{"response_type", "code"},
                                          {"client_id", "tavrel-macos"},
                                          {"redirect_uri", "com.tavrel.macos:/oauth/callback"},
                                          {"scope", "openid offline_access account:read transfers:create transfers:read"},
                                          {"state", pkce.state},
                                          {"code_challenge", pkce.codeChallenge},
                                          {"code_challenge_method", "S256"},
                                          {"resource", resource()}});
    return send("GET", authorize.path() + "?" + authorize.query().value_or(""));
  }

  static std::string requestIdOf(const std::string& page) {
    std::smatch match;
    if (!std::regex_search(page, match, std::regex(R"re(name="request" value="([^"]+)")re"))) return {};
    return match[1].str();
  }

  platform::HttpResponse pressAllow(const std::string& requestId) {
    return send("POST", "/api/auth/oauth2/authorize/allow", formEncoded({{"request", requestId}}),
                {{"Content-Type", "application/x-www-form-urlencoded"}});
  }

  // Signs in as the browser and the program would; returns the access token.
  std::string signIn() {
    const auto pkce = *PKCEAuthorizationRequest::make();
    const auto callback = platform::Url::parse(
        pressAllow(requestIdOf(openAuthorizePage(pkce).body)).header("Location").value_or(""));
    if (!callback) return {};
    const auto answer = send("POST", "/api/auth/oauth2/token",
                             formEncoded({{"grant_type", "authorization_code"},
                                          {"code", queryOf(*callback)["code"]},
                                          {"redirect_uri", "com.tavrel.macos:/oauth/callback"},
                                          {"code_verifier", pkce.codeVerifier},
                                          {"client_id", "tavrel-macos"},
                                          {"resource", resource()}}),
                             {{"Content-Type", "application/x-www-form-urlencoded"}});
    return nlohmann::json::parse(answer.body).value("access_token", "");
  }

  // A new transfer's id, or empty.
  std::string createTransfer(const std::string& token) {
    const auto created = send("POST", "/api/v1/transfers",
                              R"({"title":"T","expectedFiles":1,"totalExpectedBytes":1,"fileSizes":[1],)"
                              R"("expiryDays":7,"region":"eu","oneTimeDownload":false,"isReviewEnabled":false,)"
                              R"("filePreviewEnabled":true})",
                              {{"Authorization", "Bearer " + token}, {"Content-Type", "application/json"}});
    EXPECT_EQ(created.status, 200) << created.body;
    return created.status == 200 ? nlohmann::json::parse(created.body).at("transferId").get<std::string>() : "";
  }

  // Sends `transfer` through the program's own upload engine; returns the completed transfer.
  std::optional<CompletedTransfer> upload(const PreparedTransfer& transfer, const std::string& token) {
    auto tokens = std::make_shared<testing::ScriptedAccessTokenProvider>(std::vector<std::string>{token});
    auto client = std::make_shared<TavrelAPIClient>(service->webAppURL(), tokens, api);
    auto clock = std::make_shared<testing::ImmediateTransferClock>();
    NativeUploadEngine engine(client, clock, api, UploadSecurityPolicy::defaultPolicy(), queue);
    std::optional<CompletedTransfer> completed;
    bool finished = false;
    engine.upload(
        {transfer}, {},
        [&](const UploadEvent& event) {
          if (const auto* done = std::get_if<upload_event::Completed>(&event)) completed = done->transfer;
        },
        [&](UploadOutcome outcome) {
          lastOutcome = std::move(outcome);
          finished = true;
        });
    EXPECT_TRUE(queue.runUntil([&] { return finished; }, 60s));
    queue.runUntilIdle();
    return completed;
  }

  PreparedTransfer prepare(const std::vector<std::pair<std::string, std::int64_t>>& files) {
    PreparedTransfer transfer;
    transfer.title = "Holiday <2025>";
    transfer.defaults.expiryDays = 7;
    transfer.defaults.region = TransferRegion::eu;
    unsigned seed = 1;
    for (const auto& [name, size] : files) {
      TransferFile file;
      file.referenceID = platform::Uuid::generate().toString();
      file.sourceURL = data.writeFile("files/" + name, contentsOf(size, ++seed));
      file.relativePath = name;
      file.size = size;
      file.mimeType = "application/octet-stream";
      transfer.files.push_back(std::move(file));
    }
    return transfer;
  }

  localservice::HttpsServer::Scheme webScheme = localservice::HttpsServer::Scheme::https;
  std::uint64_t largestRequestBody = LocalService::Options{}.largestRequestBody;
  std::function<bool(int descriptor)> sync;
  std::optional<UploadOutcome> lastOutcome;
  testing::TemporaryDirectory data;
  platform::ManualMainQueue queue;
  std::unique_ptr<LocalService> service;
  std::shared_ptr<platform::HttpTransport> browser;
  std::shared_ptr<platform::HttpTransport> api;
};

// The page asks first; its "Allow" hands the browser to the program's callback with the state it
// was given and a code that signs in, once.
TEST_F(LocalServiceTest, AllowRedirectsToTheCallbackWithTheStateAndAnswersOnce) {
  const auto pkce = *PKCEAuthorizationRequest::make();
  const auto page = openAuthorizePage(pkce);
  ASSERT_EQ(page.status, 200);
  EXPECT_THAT(page.body, ::testing::HasSubstr(">Allow</button>"));
  const auto requestId = requestIdOf(page.body);
  ASSERT_FALSE(requestId.empty());

  const auto allowed = pressAllow(requestId);
  EXPECT_EQ(allowed.status, 303);
  const auto callback = platform::Url::parse(allowed.header("Location").value_or(""));
  ASSERT_TRUE(callback);
  EXPECT_EQ(callback->scheme(), "com.tavrel.macos");
  EXPECT_EQ(callback->path(), "/oauth/callback");
  auto items = queryOf(*callback);
  EXPECT_EQ(items["state"], pkce.state);
  EXPECT_FALSE(items["code"].empty());
  EXPECT_EQ(items["iss"], service->webAppURL().toString() + "api/auth");

  EXPECT_EQ(pressAllow(requestId).status, 400) << "a page is answered once";
  EXPECT_EQ(pressAllow("consent-made-up").status, 400);

  const auto token = signIn();
  ASSERT_FALSE(token.empty());
  const auto bootstrap = send("GET", "/api/v1/bootstrap", {}, {{"Authorization", "Bearer " + token}});
  EXPECT_EQ(bootstrap.status, 200);
  EXPECT_EQ(send("GET", "/api/v1/bootstrap", {}, {{"Authorization", "Bearer made-up"}}).status, 401);
}

// A finished transfer outlives the service: after a restart its share link still opens a page whose
// links download the very bytes sent, whole files and files sent in parts alike; the account's
// token still works and the recent list still holds it.
TEST_F(LocalServiceTest, RestartKeepsACompletedTransferDownloadableWithTheSameBytes) {
  const auto token = signIn();
  ASSERT_FALSE(token.empty());
  const auto transfer = prepare({{"notes <1>.txt", 1'000}, {"movie.bin", 9 * MiB + 3}, {"empty", 0}});
  const auto completed = upload(transfer, token);
  ASSERT_TRUE(completed && completed->downloadSlug);
  const auto slug = *completed->downloadSlug;

  restart();

  const auto page = send("GET", "/dl/" + slug);
  ASSERT_EQ(page.status, 200);
  EXPECT_THAT(page.body, ::testing::HasSubstr("Holiday &lt;2025&gt;"));
  EXPECT_THAT(page.body, ::testing::HasSubstr("notes &lt;1&gt;.txt"));
  std::vector<std::string> links;
  const std::regex link(R"re(href="(/dl/[^"]+/files/[^"]+)")re");
  for (auto match = std::sregex_iterator(page.body.begin(), page.body.end(), link); match != std::sregex_iterator();
       ++match) {
    links.push_back((*match)[1].str());
  }
  ASSERT_EQ(links.size(), transfer.files.size());
  for (std::size_t i = 0; i < links.size(); ++i) {
    const auto download = send("GET", links[i]);
    EXPECT_EQ(download.status, 200);
    EXPECT_EQ(download.body, contentsOf(transfer.files[i].size, static_cast<unsigned>(i + 2))) << links[i];
    EXPECT_THAT(download.header("Content-Disposition").value_or(""), ::testing::StartsWith("attachment;"));
  }

  const auto recent = send("GET", "/api/v1/transfers", {}, {{"Authorization", "Bearer " + token}});
  ASSERT_EQ(recent.status, 200);
  const auto listed = nlohmann::json::parse(recent.body).at("transfers");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].at("downloadSlug"), slug);
}

// A service killed right after it answered keeps what it answered: state.json is written a moment
// later, so a kill used to lose the last files' completion, and the program's run then ended on
// "Some files are not complete yet." once the service was back.
TEST_F(LocalServiceTest, WhatWasAnsweredSurvivesAKill) {
  const auto token = signIn();
  const auto transfer = prepare({{"a.txt", 1'000}, {"movie.bin", 9 * MiB + 3}});
  const auto completed = upload(transfer, token);
  ASSERT_TRUE(completed && completed->downloadSlug);

  // The folder as a kill leaves it now, without the last write of state.json. The journal is taken
  // first: a state.json written meanwhile has dropped only lines it holds.
  const auto killed = data.path() / "killed";
  std::filesystem::create_directories(killed);
  std::filesystem::copy_file(service->journalFile(), killed / service->journalFile().filename());
  std::filesystem::copy(service->dataDirectory(), killed,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
  // Killed in the middle of a line, too: the next line must not be glued onto it.
  const auto journal = killed / service->journalFile().filename();
  const auto whole = std::filesystem::file_size(journal);
  std::ofstream(journal, std::ios::app | std::ios::binary) << R"({"seq":999999,"nextId":1,"transfers":[{"ind)";
  LocalService again(LocalService::Options{killed, 0, 5s, 0ms, webScheme});
  EXPECT_EQ(std::filesystem::file_size(journal), whole);

  platform::HttpRequest request;
  request.url = *platform::Url::parse(again.webAppURL().toString() + "dl/" + *completed->downloadSlug);
  const auto page = browser->send(request);
  ASSERT_TRUE(page.hasValue());
  EXPECT_EQ(page->status, 200);
  EXPECT_THAT(page->body, ::testing::HasSubstr("movie.bin"));
  const auto transfers = again.transfers().transfers();  // a copy: the loop must not outlive it
  EXPECT_EQ(transfers.at(0).files.size(), 2u);
  for (const auto& file : transfers.at(0).files) EXPECT_TRUE(file.completed) << file.filename;
}

// A journal line of a big registration is read back whole, and so is one written while state.json
// was being taken: the state may already hold what the line says, which is then simply applied again.
TEST_F(LocalServiceTest, JournalLinesAreAppliedOverAStateThatAlreadyHoldsThem) {
  std::mutex linesMutex;
  std::vector<std::string> lines;
  std::string piecesSoFar;
  service->transfers().setJournal([&](std::string_view piece, bool ends) {
    std::lock_guard lock(linesMutex);
    piecesSoFar += piece;
    if (ends) lines.push_back(std::exchange(piecesSoFar, {}));
    return true;
  });
  const auto token = signIn();
  const std::vector<platform::HttpHeader> authorised{{"Authorization", "Bearer " + token},
                                                     {"Content-Type", "application/json"}};
  const auto created = send("POST", "/api/v1/transfers",
                            R"({"title":"Big \"one\"","expectedFiles":1,"totalExpectedBytes":1,"fileSizes":[1],)"
                            R"("expiryDays":7,"region":"eu","oneTimeDownload":false,"isReviewEnabled":false,)"
                            R"("filePreviewEnabled":true})",
                            authorised);
  ASSERT_EQ(created.status, 200) << created.body;
  const auto transferId = nlohmann::json::parse(created.body).at("transferId").get<std::string>();
  constexpr int kFiles = 5'000;  // several runs of the state file's writer, several pieces of a line
  const std::string folders(300, 'd');
  std::string body = "[";
  for (int i = 0; i < kFiles; ++i) {
    if (i > 0) body += ',';
    body += R"({"id":"ref-)" + std::to_string(i) + R"(","filename":"f\u00e9 \"q\")" + std::to_string(i) +
            R"(","relativePath":"Big/)" + folders + "/f" + std::to_string(i) + R"(","mime":"text/plain","size":)" +
            std::to_string(i == 0 ? 9 * MiB : 512) + "}";
  }
  body += "]";
  ASSERT_EQ(send("POST", "/api/v1/transfers/" + transferId + "/files", body, authorised).status, 200);

  // As if state.json had been taken with its number before the registration, then everything since.
  auto state = nlohmann::json::parse(service->transfers().savedState());
  state["journalSeq"] = 0;
  ASSERT_EQ(send("DELETE", "/api/v1/transfers/" + transferId, {}, authorised).status, 200);

  localservice::TransferService again;
  again.restoreState(state);
  {
    std::lock_guard lock(linesMutex);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_GT(lines[1].size(), 2u * MiB);
    EXPECT_EQ(again.replayJournal(lines), 3u);
  }
  EXPECT_EQ(again.savedState(), service->transfers().savedState());
  EXPECT_TRUE(again.transfers().at(0).deleted);
  EXPECT_EQ(again.transfers().at(0).files.size(), static_cast<std::size_t>(kFiles));
}

// Every page the program opens on the web application is there: the account's transfers with their
// pages and share links, one transfer's files, the settings and the profile; whatever a transfer
// holds is shown as text, never as markup.
TEST_F(LocalServiceTest, ThePagesTheProgramOpensAreServed) {
  const auto token = signIn();
  const auto first = upload(prepare({{"a.txt", 10}}), token);
  const auto second = upload(prepare({{"<b>bold</b>.txt", 20}, {"c.bin", 30}}), token);
  ASSERT_TRUE(first && first->transferID && first->downloadSlug);
  ASSERT_TRUE(second && second->transferID && second->downloadSlug);
  const ApplicationLinks links{service->webAppURL()};
  const auto pageAt = [&](const platform::Url& url) {
    return send("GET", url.path() + (url.query() ? "?" + *url.query() : ""));
  };

  const auto list = send("GET", "/transfers");
  ASSERT_EQ(list.status, 200);
  EXPECT_THAT(list.header("Content-Type").value_or(""), ::testing::StartsWith("text/html"));
  EXPECT_THAT(list.body, ::testing::HasSubstr("Holiday &lt;2025&gt;"));
  EXPECT_THAT(list.body, ::testing::Not(::testing::HasSubstr("<2025>")));
  for (const auto& transfer : {*first, *second}) {
    EXPECT_THAT(list.body, ::testing::HasSubstr("href=\"" + links.transferURL(*transfer.transferID).path() + "\""));
    EXPECT_THAT(list.body, ::testing::HasSubstr(links.downloadURL(*transfer.downloadSlug).toString()));
  }
  EXPECT_LT(list.body.find(*second->transferID), list.body.find(*first->transferID)) << "newest first";
  EXPECT_EQ(send("GET", "/transfers/").status, 200);

  const auto one = pageAt(links.transferURL(*second->transferID));
  ASSERT_EQ(one.status, 200);
  EXPECT_THAT(one.body, ::testing::HasSubstr("&lt;b&gt;bold&lt;/b&gt;.txt (20 bytes)"));
  EXPECT_THAT(one.body, ::testing::HasSubstr("c.bin (30 bytes)"));
  EXPECT_THAT(one.body, ::testing::HasSubstr(links.downloadURL(*second->downloadSlug).toString()));
  EXPECT_THAT(one.body, ::testing::Not(::testing::HasSubstr("a.txt")));

  const auto transferSettings = pageAt(links.url("settings", "transfer"));
  EXPECT_EQ(transferSettings.status, 200);
  EXPECT_THAT(transferSettings.body, ::testing::HasSubstr("Transfer settings"));
  const auto profile = pageAt(links.url("settings", "profile"));
  EXPECT_EQ(profile.status, 200);
  EXPECT_THAT(profile.body, ::testing::HasSubstr("ada@example.test"));
  EXPECT_THAT(profile.body, ::testing::HasSubstr("Studio"));

  EXPECT_EQ(send("GET", "/transfers/tr-999").status, 404);
  EXPECT_EQ(send("GET", "/transfers/%3Cscript%3E").status, 404);
  ASSERT_EQ(send("DELETE", "/api/v1/transfers/" + *first->transferID, {}, {{"Authorization", "Bearer " + token}})
                .status,
            200);
  EXPECT_EQ(pageAt(links.transferURL(*first->transferID)).status, 404);
  EXPECT_THAT(send("GET", "/transfers").body, ::testing::Not(::testing::HasSubstr(*first->transferID + "\"")));
}

// With the web application on plain http (as the run command has it), sign-in, the upload and the
// share link's download work, while storage stays on https with the service's own authority, so
// the program's policy that refuses http storage still lets every upload through.
TEST_F(LocalServiceTest, AWebApplicationOnPlainHttpKeepsItsStorageOnHttps) {
  webScheme = localservice::HttpsServer::Scheme::http;
  restart();
  EXPECT_EQ(service->webAppURL().scheme(), "http");
  EXPECT_EQ(service->storageURL().scheme(), "https");

  const auto pkce = *PKCEAuthorizationRequest::make();
  const auto allowed = pressAllow(requestIdOf(openAuthorizePage(pkce).body));
  const auto callback = platform::Url::parse(allowed.header("Location").value_or(""));
  ASSERT_TRUE(callback);
  EXPECT_EQ(queryOf(*callback)["iss"], service->webAppURL().toString() + "api/auth");

  const auto token = signIn();
  ASSERT_FALSE(token.empty());
  const auto transfer = prepare({{"a.txt", 1'000}});
  const auto completed = upload(transfer, token);
  ASSERT_TRUE(completed && completed->downloadSlug);
  const auto page = send("GET", "/dl/" + *completed->downloadSlug);
  ASSERT_EQ(page.status, 200);
  std::smatch link;
  ASSERT_TRUE(std::regex_search(page.body, link, std::regex(R"re(href="(/dl/[^"]+/files/[^"]+)")re")));
  EXPECT_EQ(send("GET", link[1].str()).body, contentsOf(1'000, 2));
}

// Links that lead nowhere say so with 404, whatever they hold; a deleted transfer's link too.
TEST_F(LocalServiceTest, UnknownOrDeletedDownloadsAreNotFound) {
  const auto token = signIn();
  const auto completed = upload(prepare({{"a.txt", 10}}), token);
  ASSERT_TRUE(completed && completed->downloadSlug && completed->transferID);
  const auto slug = *completed->downloadSlug;

  for (const std::string& path : std::vector<std::string>{"/dl/made-up", "/dl/", "/dl/..%2Fstate.json", "/dl/" + slug + "/files/made-up",
                                 "/dl/" + slug + "/files/..%2F..%2Fstate.json", "/dl/slug-tr-999"}) {
    EXPECT_EQ(send("GET", path).status, 404) << path;
  }

  EXPECT_EQ(send("DELETE", "/api/v1/transfers/" + *completed->transferID, {}, {{"Authorization", "Bearer " + token}})
                .status,
            200);
  EXPECT_EQ(send("GET", "/dl/" + slug).status, 404);
}

// A save taken after changes holds them, however often it was saved before.
TEST_F(LocalServiceTest, ASavedTransferIsSavedAgainOnceItChanges) {
  const auto token = signIn();
  const auto first = upload(prepare({{"a.txt", 10}}), token);
  ASSERT_TRUE(first && first->transferID);
  const auto saved = [&] { return nlohmann::json::parse(service->transfers().savedState()).at("transfers"); };
  const auto before = saved();
  ASSERT_EQ(before.size(), 1u);
  EXPECT_TRUE(before[0].at("completed").get<bool>());

  const auto second = upload(prepare({{"b.txt", 20}}), token);
  ASSERT_TRUE(second);
  ASSERT_EQ(send("DELETE", "/api/v1/transfers/" + *first->transferID, {}, {{"Authorization", "Bearer " + token}})
                .status,
            200);
  const auto after = saved();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_TRUE(after[0].at("deleted").get<bool>());
  EXPECT_TRUE(after[1].at("completed").get<bool>());
  EXPECT_EQ(after[1].at("files").size(), 1u);
}

// The registration of a big folder is one request far beyond the 16 MiB a body used to be kept
// to: every file of it is registered and planned, in order.
TEST_F(LocalServiceTest, RegisteringABigFolderTakesABodyOfTensOfMegabytes) {
  const auto token = signIn();
  const std::vector<platform::HttpHeader> authorised{{"Authorization", "Bearer " + token},
                                                     {"Content-Type", "application/json"}};
  const auto created = send("POST", "/api/v1/transfers",
                            R"({"title":"Big","expectedFiles":1,"totalExpectedBytes":1,"fileSizes":[1],)"
                            R"("expiryDays":7,"region":"eu","oneTimeDownload":false,"isReviewEnabled":false,)"
                            R"("filePreviewEnabled":true})",
                            authorised);
  ASSERT_EQ(created.status, 200) << created.body;
  const auto transferId = nlohmann::json::parse(created.body).at("transferId").get<std::string>();

  constexpr int kFiles = 60'000;
  const std::string folders(200, 'd');
  std::string body = "[";
  for (int i = 0; i < kFiles; ++i) {
    if (i > 0) body += ',';
    body += R"({"id":"ref-)" + std::to_string(i) + R"(","filename":"f)" + std::to_string(i) +
            R"(.bin","relativePath":"Big/)" + folders + "/f" + std::to_string(i) +
            R"(.bin","mime":"application/octet-stream","size":512})";
  }
  body += "]";
  ASSERT_GT(body.size(), 16u * MiB);

  const auto registered = send("POST", "/api/v1/transfers/" + transferId + "/files", body, authorised);
  ASSERT_EQ(registered.status, 200) << registered.body.substr(0, 200);
  const auto plans = nlohmann::json::parse(registered.body).at("plans");
  ASSERT_EQ(plans.size(), static_cast<std::size_t>(kFiles));
  EXPECT_EQ(plans.front().at("referenceId"), "ref-0");
  EXPECT_EQ(plans.back().at("referenceId"), "ref-" + std::to_string(kFiles - 1));
  EXPECT_EQ(plans.back().at("strategy"), "single");
  EXPECT_EQ(service->transfers().transfer(transferId)->files.size(), static_cast<std::size_t>(kFiles));
}

// A body beyond the service's limit is refused as too large, in the service's error record, and
// the program fails the transfer with the service's words rather than calling it malformed.
TEST_F(LocalServiceTest, ABodyBeyondTheLimitIsRefusedAsTooLargeAndTheProgramSaysSo) {
  largestRequestBody = 8 * 1024;
  restart();
  std::vector<std::pair<std::string, std::int64_t>> files;
  for (int i = 0; i < 100; ++i) files.emplace_back("folder/file " + std::to_string(i) + ".txt", 10);

  EXPECT_FALSE(upload(prepare(files), signIn()));

  ASSERT_TRUE(lastOutcome && std::holds_alternative<upload_outcome::Failed>(*lastOutcome));
  EXPECT_EQ(std::get<upload_outcome::Failed>(*lastOutcome).error.localizedDescription,
            "The request is too large. Send fewer files at a time.");
  files.resize(10);
  EXPECT_TRUE(upload(prepare(files), signIn())) << "a transfer within the limit still goes";
}

// A state file or journal it cannot read stops the start rather than starting over without the
// accounts and transfers still on disk; the error names the file and never advises dropping the
// accounts, and the file is left as it was.
TEST_F(LocalServiceTest, AnUnreadableStateFileOrJournalStopsTheStartNamingIt) {
  const auto startError = [&] {
    try {
      start();
    } catch (const std::runtime_error& error) {
      return std::string(error.what());
    }
    return std::string("it started");
  };
  const auto stateFile = service->stateFile();
  const auto journalFile = service->journalFile();
  service.reset();
  const std::string journal = R"({"seq":1,"nextId":9,"transfers":[{"index":3,"files":[]}]})" "\n";
  std::ofstream(journalFile, std::ios::trunc) << journal;
  const auto journalError = startError();
  EXPECT_THAT(journalError, ::testing::HasSubstr("cannot read the journal " + journalFile.string() + " (line 1: "));
  EXPECT_THAT(journalError, ::testing::HasSubstr("without those changes"));
  EXPECT_THAT(journalError, ::testing::Not(::testing::HasSubstr("no accounts")));
  std::ifstream kept(journalFile);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), journal);

  std::ofstream(stateFile, std::ios::trunc) << "{\"version\": 1, \"signIn\": ";
  const auto stateError = startError();
  EXPECT_THAT(stateError, ::testing::HasSubstr("cannot read " + stateFile.string() + " ("));
  EXPECT_THAT(stateError, ::testing::HasSubstr("it holds the accounts and transfers, and was left as it is"));
  EXPECT_THAT(stateError, ::testing::Not(::testing::HasSubstr("move it away")));
}

// A disk that cannot take a journal line (here a file size limit, as a full disk) gets the change
// refused with 503 and nothing of the line in the journal; once there is room again, a later change
// and a kill leave a folder that starts and holds just that change. Before, the refused change was
// answered 200 and later lines that built on it made the next start fail.
TEST_F(LocalServiceTest, AChangeTheDiskCannotTakeIsRefusedAndLaterChangesStillStart) {
  const auto token = signIn();
  const std::vector<platform::HttpHeader> authorised{{"Authorization", "Bearer " + token},
                                                     {"Content-Type", "application/json"}};
  const auto transferId = createTransfer(token);
  ASSERT_FALSE(transferId.empty());
  const auto registration = [](int files) {
    std::string body = "[";
    for (int i = 0; i < files; ++i) {
      body += std::string(i > 0 ? "," : "") + R"({"id":"ref-)" + std::to_string(i) + R"(","filename":"f)" +
              std::to_string(i) + R"(","relativePath":"d/f)" + std::to_string(i) + R"(","mime":"text/plain","size":5})";
    }
    return body + "]";
  };

  const auto journalSize = std::filesystem::file_size(service->journalFile());
  {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &original), 0);
    rlimit limited = original;
    limited.rlim_cur = journalSize + 2'000;  // a line of 300 files is some 30 KB
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto refused = send("POST", "/api/v1/transfers/" + transferId + "/files", registration(300), authorised);
    ::setrlimit(RLIMIT_FSIZE, &original);
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(nlohmann::json::parse(refused.body).at("error").at("message"),
              "The service could not save this change. Free some disk space and try again.");
  }
  EXPECT_EQ(std::filesystem::file_size(service->journalFile()), journalSize);
  EXPECT_TRUE(service->transfers().transfer(transferId)->files.empty());
  ASSERT_EQ(send("POST", "/api/v1/transfers/" + transferId + "/files", registration(1), authorised).status, 200);

  const auto killed = data.path() / "killed";
  std::filesystem::create_directories(killed);
  std::filesystem::copy_file(service->journalFile(), killed / service->journalFile().filename());
  std::filesystem::copy(service->dataDirectory(), killed,
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::skip_existing);
  LocalService again(LocalService::Options{killed, 0, 5s, 0ms, webScheme});
  EXPECT_EQ(again.transfers().transfer(transferId)->files.size(), 1u);
}

// state.json and its folder are on disk before the journal is trimmed, so a power cut after a trim
// finds what the trimmed lines held; a state that cannot be synced leaves the journal whole.
TEST_F(LocalServiceTest, TheJournalIsTrimmedOnlyOnceTheStateIsOnDisk) {
  std::mutex syncedMutex;
  std::vector<std::filesystem::path> synced;
  bool syncs = false;
  sync = [&](int descriptor) {
    std::lock_guard lock(syncedMutex);
    synced.push_back(std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(descriptor)));
    return syncs;
  };
  restart();
  ASSERT_FALSE(createTransfer(signIn()).empty());
  service->stop();
  EXPECT_GT(std::filesystem::file_size(service->journalFile()), 0u) << "the journal keeps its line";
  std::ifstream state(service->stateFile());
  EXPECT_TRUE(nlohmann::json::parse(state).at("transfers").at("transfers").empty()) << "the state as it was";

  {
    std::lock_guard lock(syncedMutex);
    syncs = true;
    synced.clear();
  }
  restart();
  ASSERT_FALSE(createTransfer(signIn()).empty());
  service->stop();
  EXPECT_EQ(std::filesystem::file_size(service->journalFile()), 0u);
  std::lock_guard lock(syncedMutex);
  const auto at = [&](const std::filesystem::path& path) {
    return std::find(synced.begin(), synced.end(), path) - synced.begin();
  };
  const auto folder = std::filesystem::canonical(service->dataDirectory());
  EXPECT_LT(at(folder / "state.json.new"), at(folder));
  EXPECT_LT(at(folder), at(folder / "state.journal.new"));
  EXPECT_LT(at(folder / "state.journal.new"), static_cast<std::ptrdiff_t>(synced.size()));
}

// A second service on a port in use stops with an error instead of sharing the port.
TEST_F(LocalServiceTest, APortInUseStopsTheStart) {
  testing::TemporaryDirectory other;
  EXPECT_THROW(LocalService({other.path(), service->port()}), std::runtime_error);
  EXPECT_EQ(send("GET", "/dl/made-up").status, 404) << "the first one still serves";
}

// A revoke held back (for a test of quitting mid-sign-out) is counted on arrival and waits; letting
// go, as the service's stop does, answers it at once.
TEST_F(LocalServiceTest, AHeldRevokeWaitsUntilLetGo) {
  service.reset();
  start(24h);
  std::optional<platform::Expected<platform::HttpResponse, platform::TransportError>> answer;
  std::atomic<bool> answered{false};
  std::thread signOut([&] {
    platform::HttpRequest request;
    request.method = "POST";
    request.url = *platform::Url::parse(service->webAppURL().toString() + "api/auth/oauth2/revoke");
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    request.body = formEncoded({{"client_id", "tavrel-macos"}, {"token_type_hint", "refresh_token"}, {"token", "t"}});
    answer = api->send(request);
    answered = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (service->signIn().revokeRequestCount() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(service->signIn().revokeRequestCount(), 1u);
  EXPECT_FALSE(answered);
  service->signIn().setRevokeDelay(0ms);
  signOut.join();
  ASSERT_TRUE(answer && answer->hasValue());
  EXPECT_EQ((*answer)->status, 200);
}

}  // namespace
}  // namespace tavrel
