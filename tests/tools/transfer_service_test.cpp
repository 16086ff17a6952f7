#include "local_service/transfer_service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/stand_in_service.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

using localservice::HttpsServer;
using localservice::TransferService;
using nlohmann::json;
using ::testing::HasSubstr;

constexpr std::string_view kCreateBody =
    R"({"title":"T","expectedFiles":1,"totalExpectedBytes":1,"fileSizes":[1],"expiryDays":7,"region":"eu",)"
    R"("oneTimeDownload":false,"isReviewEnabled":false,"filePreviewEnabled":true})";

// The journal a service is given, keeping its whole lines; told to, it refuses them as a full disk would.
struct Journal {
  std::mutex mutex;
  std::vector<std::string> lines;
  std::string pending;
  bool refuses = false;

  bool take(std::string_view piece, bool ends) {
    std::lock_guard lock(mutex);
    if (refuses) {
      pending.clear();
      return false;
    }
    pending += piece;
    if (ends) lines.push_back(std::exchange(pending, {}));
    return true;
  }
  void refuse(bool value) {
    std::lock_guard lock(mutex);
    refuses = value;
  }
  std::vector<std::string> taken() {
    std::lock_guard lock(mutex);
    return lines;
  }
};

// The transfer service and its storage on one server, as the local service has them, with storage
// on disk; driven over HTTPS the way any client would.
class TransferServiceTest : public ::testing::Test {
 protected:
  TransferServiceTest() { start({}); }
  ~TransferServiceTest() override { server->stop(); }

  void start(TransferService::Options options) {
    if (server) server->stop();
    service.reset();
    server = std::make_unique<HttpsServer>();
    options.storageDirectory = data.path() / "storage";
    service = std::make_unique<TransferService>(*server, std::move(options));
    service->setJournal([this](std::string_view piece, bool ends) { return journal.take(piece, ends); });
  }

  platform::HttpResponse call(const std::string& method, const std::string& pathOrURL, std::string body = "{}",
                              std::optional<std::string> token = "token-1") {
    platform::HttpRequest request;
    request.method = method;
    request.url = *platform::Url::parse(pathOrURL.starts_with("/") ? server->url(pathOrURL).toString() : pathOrURL);
    if (token) request.headers.push_back({"Authorization", "Bearer " + *token});
    if (!body.empty()) {
      request.headers.push_back({"Content-Type", "application/json"});
      request.body = std::move(body);
    }
    auto response = session->send(request);
    EXPECT_TRUE(response.hasValue());
    return response ? *response : platform::HttpResponse{};
  }

  std::string createTransfer() {
    const auto created = call("POST", "/api/v1/transfers", std::string(kCreateBody));
    EXPECT_EQ(created.status, 200) << created.body;
    return created.status == 200 ? json::parse(created.body).at("transferId").get<std::string>() : "";
  }
  platform::HttpResponse registerFiles(const std::string& transferId,
                                       const std::vector<std::pair<std::string, std::int64_t>>& files) {
    json body = json::array();
    for (const auto& [name, size] : files) {
      body.push_back({{"id", "ref-" + name}, {"filename", name}, {"relativePath", name}, {"mime", "text/plain"}, {"size", size}});
    }
    return call("POST", "/api/v1/transfers/" + transferId + "/files", body.dump());
  }
  // The file ids of the plans, in order.
  std::vector<std::string> registered(const std::string& transferId,
                                      const std::vector<std::pair<std::string, std::int64_t>>& files) {
    const auto answer = registerFiles(transferId, files);
    EXPECT_EQ(answer.status, 200) << answer.body;
    std::vector<std::string> ids;
    if (answer.status != 200) return ids;
    const auto plans = json::parse(answer.body).at("plans");
    for (const auto& plan : plans) ids.push_back(plan.at("fileId").get<std::string>());
    return ids;
  }
  std::string fileURL(const std::string& transferId, const std::string& fileId, const std::string& action) {
    return "/api/v1/transfers/" + transferId + "/files/" + fileId + "/" + action;
  }
  std::string signSingle(const std::string& transferId, const std::string& fileId) {
    const auto signed_ = call("POST", fileURL(transferId, fileId, "sign"));
    EXPECT_EQ(signed_.status, 200) << signed_.body;
    return signed_.status == 200 ? json::parse(signed_.body).at("url").get<std::string>() : "";
  }
  std::string signPart(const std::string& transferId, const std::string& fileId, int number) {
    const auto signed_ =
        call("POST", fileURL(transferId, fileId, "sign"), json{{"partNumbers", {number}}}.dump());
    EXPECT_EQ(signed_.status, 200) << signed_.body;
    return signed_.status == 200 ? json::parse(signed_.body).at("urls").at(0).at("url").get<std::string>() : "";
  }
  platform::HttpResponse put(const std::string& url, std::string bytes) {
    return call("PUT", url, std::move(bytes), std::nullopt);
  }
  const TransferService::StoredFile& fileOf(const TransferService::StoredTransfer& transfer, const std::string& fileId) {
    for (const auto& file : transfer.files) {
      if (file.fileId == fileId) return file;
    }
    throw std::out_of_range(fileId);
  }
  // What a start would rebuild from the journal alone is what the service holds.
  void expectTheJournalHoldsTheState() {
    TransferService rebuilt;
    rebuilt.replayJournal(journal.taken());
    EXPECT_EQ(rebuilt.savedState(), service->savedState());
  }

  testing::TemporaryDirectory data;
  Journal journal;
  std::unique_ptr<HttpsServer> server;
  std::unique_ptr<TransferService> service;
  std::shared_ptr<platform::HttpTransport> session = testing::makeStandInSession();
};

std::string readAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return std::move(bytes).str();
}

// A change the journal cannot take (a full disk) is never acknowledged, nor kept: every endpoint
// that changes the transfers takes its change back and answers 503, stored bytes it replaced
// included, so the service holds exactly what a start would rebuild from the journal, and a retry
// once there is room goes as a first try would.
TEST_F(TransferServiceTest, AChangeTheJournalCannotTakeIsTakenBackAndAnswered503) {
  service->setMultipartThreshold(100);
  service->setPartSize(60);
  const auto refused = [&](auto request) {
    journal.refuse(true);
    const platform::HttpResponse answer = request();
    journal.refuse(false);
    EXPECT_EQ(answer.status, 503) << answer.body;
    EXPECT_THAT(answer.body, HasSubstr("\"not_kept\""));
    return answer;
  };

  refused([&] { return call("POST", "/api/v1/transfers", std::string(kCreateBody)); });
  EXPECT_TRUE(service->transfers().empty());
  const auto transferId = createTransfer();

  refused([&] { return registerFiles(transferId, {{"a.txt", 10}, {"b.bin", 120}}); });
  EXPECT_TRUE(service->transfer(transferId)->files.empty());
  const auto ids = registered(transferId, {{"a.txt", 10}, {"b.bin", 120}});
  ASSERT_EQ(ids.size(), 2u);
  const auto stored = [&](const std::string& fileId) { return fileOf(*service->transfer(transferId), fileId); };
  const auto onDisk = data.path() / "storage" / transferId;

  refused([&] { return put(signSingle(transferId, ids[0]), "0123456789"); });
  EXPECT_FALSE(stored(ids[0]).object);
  EXPECT_FALSE(std::filesystem::exists(onDisk / ids[0]));
  EXPECT_EQ(put(signSingle(transferId, ids[0]), "0123456789").status, 200);

  const std::string first(60, 'A');
  ASSERT_EQ(put(signPart(transferId, ids[1], 1), first).status, 200);
  ASSERT_EQ(put(signPart(transferId, ids[1], 2), std::string(60, 'B')).status, 200);
  refused([&] { return put(signPart(transferId, ids[1], 1), std::string(60, 'C')); });
  EXPECT_EQ(stored(ids[1]).parts.at(1).sha256, localservice::sha256Of(first)) << "the part it would have replaced";
  EXPECT_EQ(readAll(onDisk / (ids[1] + ".parts") / "1"), first);

  for (const auto& fileId : ids) {
    refused([&] { return call("PUT", fileURL(transferId, fileId, "complete")); });
    EXPECT_FALSE(stored(fileId).completed);
    EXPECT_EQ(call("PUT", fileURL(transferId, fileId, "complete")).status, 200);
  }

  refused([&] { return call("PUT", "/api/v1/transfers/" + transferId + "/complete"); });
  EXPECT_FALSE(service->transfer(transferId)->completed);
  const auto completed = call("PUT", "/api/v1/transfers/" + transferId + "/complete");
  ASSERT_EQ(completed.status, 200);
  EXPECT_TRUE(json::parse(completed.body).at("isFirstTransfer").get<bool>()) << "the refused one left no trace";

  refused([&] { return call("DELETE", "/api/v1/transfers/" + transferId, {}); });
  EXPECT_FALSE(service->transfer(transferId)->deleted);
  EXPECT_EQ(readAll(onDisk / ids[0]), "0123456789");

  expectTheJournalHoldsTheState();
}

// Each part stored is journalled alone: the line of a file's last part is no longer than its
// first's, where it once held every part so far (one file of 8,000 parts wrote gigabytes).
TEST_F(TransferServiceTest, APartIsJournalledAloneSoLinesDoNotGrowWithTheParts) {
  service->setMultipartThreshold(1);
  service->setPartSize(1);
  constexpr int kParts = 64;
  const auto transferId = createTransfer();
  const auto ids = registered(transferId, {{"parts.bin", kParts}});
  ASSERT_EQ(ids.size(), 1u);
  const auto before = journal.taken().size();
  for (int number = 1; number <= kParts; ++number) {
    ASSERT_EQ(put(signPart(transferId, ids[0], number), std::string(1, static_cast<char>('a' + number % 26))).status,
              200);
  }
  const auto lines = journal.taken();
  ASSERT_EQ(lines.size(), before + kParts);
  EXPECT_LE(lines.back().size(), lines[before].size() + 8) << lines.back();

  ASSERT_EQ(call("PUT", fileURL(transferId, ids[0], "complete")).status, 200);
  expectTheJournalHoldsTheState();
}

// The size of a body is none of a stranger's business: without a good token, the answer is 401
// however large the body; with one, a body over the limit is refused as too large.
TEST_F(TransferServiceTest, ABodyOverTheLimitGets401WithoutAGoodTokenAnd413WithOne) {
  TransferService::Options options;
  options.largestRequestBody = 1024;
  start(std::move(options));
  const std::string big = "[" + std::string(4096, ' ') + "]";
  for (const std::string path : {"/api/v1/transfers", "/api/v1/transfers/tr-1/files"}) {
    EXPECT_EQ(call("POST", path, big, std::nullopt).status, 401) << path;
    EXPECT_EQ(call("POST", path, big, "made-up").status, 401) << path;
    const auto refused = call("POST", path, big);
    EXPECT_EQ(refused.status, 413) << path;
    EXPECT_THAT(refused.body, HasSubstr("\"request_too_large\""));
  }
}

// Sign requests open at one moment are counted per transfer: two one after the other count 1, two
// sent at once from two threads count 2 (held until both are open, so the threads' timing cannot
// matter).
TEST_F(TransferServiceTest, SignRequestsOpenAtOnceAreCountedPerTransfer) {
  const auto transferId = createTransfer();
  const auto ids = registered(transferId, {{"a.txt", 10}, {"b.txt", 10}});
  ASSERT_EQ(ids.size(), 2u);
  signSingle(transferId, ids[0]);
  signSingle(transferId, ids[1]);
  EXPECT_EQ(service->mostConcurrentSigns(transferId), 1u);

  service->holdSignsUntilConcurrent(2);
  std::vector<std::jthread> clients;
  for (const auto& fileId : ids) clients.emplace_back([&, fileId] { EXPECT_FALSE(signSingle(transferId, fileId).empty()); });
  clients.clear();
  EXPECT_EQ(service->mostConcurrentSigns(transferId), 2u);
  EXPECT_EQ(service->mostConcurrentSigns("tr-999"), 0u);
}

// Thirty-two requests are served at once, a client's sixteen to the service and as many storage
// uploads beside them on the same server: a worker serves one connection at a time, and the
// library's own pool was 8 workers on this machine, so a ninth connection waited for one to idle out.
TEST_F(TransferServiceTest, ThirtyTwoRequestsAreServedAtOnce) {
  constexpr std::size_t kAtOnce = 32;
  const auto transferId = createTransfer();
  std::vector<std::pair<std::string, std::int64_t>> files;
  for (std::size_t i = 0; i < kAtOnce; ++i) files.emplace_back("f" + std::to_string(i), 10);
  const auto ids = registered(transferId, files);
  ASSERT_EQ(ids.size(), kAtOnce);
  service->holdSignsUntilConcurrent(kAtOnce);
  {
    std::vector<std::jthread> clients;
    for (const auto& fileId : ids) clients.emplace_back([&, fileId] { signSingle(transferId, fileId); });
  }
  EXPECT_EQ(service->mostConcurrentSigns(transferId), kAtOnce);
}

// One transfer driven from many threads at once, as a client with several files and two parts of
// a file in flight drives it: every file and part is kept, each change is one journal line, and two
// completions of the transfer racing each other give one and the same answer.
TEST_F(TransferServiceTest, ConcurrentFilesAndPartsOfOneTransferAreKeptAndJournalled) {
  service->setMultipartThreshold(100);
  service->setPartSize(50);
  const auto transferId = createTransfer();
  std::vector<std::pair<std::string, std::int64_t>> files;
  for (int i = 0; i < 8; ++i) files.emplace_back("f" + std::to_string(i), 10);
  files.emplace_back("parts.bin", 200);  // four parts
  const auto ids = registered(transferId, files);
  ASSERT_EQ(ids.size(), files.size());
  const auto linesBefore = journal.taken().size();

  {
    std::vector<std::jthread> clients;
    for (int i = 0; i < 8; ++i) {
      clients.emplace_back([&, i] {
        EXPECT_EQ(put(signSingle(transferId, ids[i]), std::string(10, static_cast<char>('0' + i))).status, 200);
        EXPECT_EQ(call("PUT", fileURL(transferId, ids[i], "complete")).status, 200);
      });
    }
    for (int first : {1, 2}) {
      clients.emplace_back([&, first] {
        for (int number = first; number <= 4; number += 2) {
          EXPECT_EQ(put(signPart(transferId, ids[8], number), std::string(50, static_cast<char>('a' + number))).status,
                    200);
        }
      });
    }
  }
  ASSERT_EQ(call("PUT", fileURL(transferId, ids[8], "complete")).status, 200);
  std::vector<std::string> answers(2);
  {
    std::vector<std::jthread> clients;
    for (auto& answer : answers) {
      clients.emplace_back([&] {
        const auto completed = call("PUT", "/api/v1/transfers/" + transferId + "/complete");
        EXPECT_EQ(completed.status, 200);
        answer = completed.body;
      });
    }
  }
  EXPECT_EQ(answers[0], answers[1]);

  const auto transfer = *service->transfer(transferId);
  EXPECT_TRUE(transfer.completed);
  for (const auto& file : transfer.files) EXPECT_TRUE(file.completed) << file.filename;
  EXPECT_EQ(transfer.files[8].parts.size(), 4u);
  EXPECT_EQ(transfer.files[3].object->sha256, localservice::sha256Of(std::string(10, '3')));
  // 8 PUTs and completions, 4 parts, the multipart completion and the transfer's.
  EXPECT_EQ(journal.taken().size(), linesBefore + 8 * 2 + 4 + 1 + 1);
  expectTheJournalHoldsTheState();
}

}  // namespace
}  // namespace tavrel
