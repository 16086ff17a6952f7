#include "service/native_upload_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "platform/manual_main_queue.h"
#include "service/direct_upload_error.h"
#include "service/request_window.h"
#include "service/tavrel_api_client.h"
#include "support/fake_transfer_services.h"
#include "support/stand_in_service.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

using testing::Fault;
using testing::StandInResponse;
using testing::StandInService;
using Endpoint = StandInService::Endpoint;
using namespace std::chrono_literals;

constexpr std::int64_t MiB = 1024 * 1024;
const std::string unexpectedResponse = "Tavrel returned an unexpected upload response.";
const std::string unsafeInstruction = "Tavrel refused an unsafe upload instruction from the server.";

std::string contentsOf(std::int64_t size, unsigned seed) {
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

struct RunRecord {
  std::vector<UploadEvent> events;
  std::optional<UploadOutcome> outcome;
  std::size_t eventsAfterOutcome = 0;

  std::optional<std::string> failure() const {
    if (!outcome) return std::nullopt;
    if (const auto* failed = std::get_if<upload_outcome::Failed>(&*outcome)) return failed->error.localizedDescription;
    return std::nullopt;
  }
  // Whether the failure's cause is one a resume can get past.
  std::optional<bool> resumable() const {
    if (!outcome) return std::nullopt;
    if (const auto* failed = std::get_if<upload_outcome::Failed>(&*outcome)) return failed->error.resumable;
    return std::nullopt;
  }
  bool finished() const { return outcome && std::holds_alternative<upload_outcome::Finished>(*outcome); }
  bool cancelled() const { return outcome && std::holds_alternative<Cancelled>(*outcome); }
  const CompletedTransfer* completed() const {
    if (events.empty()) return nullptr;
    const auto* last = std::get_if<upload_event::Completed>(&events.back());
    return last ? &last->transfer : nullptr;
  }
  std::vector<UploadProgressSnapshot> progress() const {
    std::vector<UploadProgressSnapshot> snapshots;
    for (const auto& event : events) {
      if (const auto* progress = std::get_if<upload_event::Progress>(&event)) snapshots.push_back(progress->snapshot);
    }
    return snapshots;
  }
};

class NativeUploadEngineTest : public ::testing::Test {
 protected:
  NativeUploadEngineTest() { makeEngine(UploadSecurityPolicy::defaultPolicy()); }

  void makeEngine(UploadSecurityPolicy policy) {
    engine.reset();
    engine = std::make_unique<NativeUploadEngine>(api, clock, testing::makeStandInSession(), std::move(policy), queue);
  }

  PreparedTransfer prepare(const std::vector<std::pair<std::string, std::int64_t>>& files) {
    PreparedTransfer transfer;
    transfer.title = "Holiday";
    transfer.defaults.expiryDays = 7;
    transfer.defaults.region = TransferRegion::eu;
    unsigned seed = static_cast<unsigned>(nextSeed++);
    for (const auto& [name, size] : files) {
      TransferFile file;
      file.referenceID = platform::Uuid::generate().toString();
      file.sourceURL = directory.writeFile(name, contentsOf(size, ++seed));
      file.relativePath = "Holiday/" + name;
      file.size = size;
      file.mimeType = "application/octet-stream";
      struct stat status {};
      EXPECT_EQ(::stat(file.sourceURL.c_str(), &status), 0);
      file.identity = platform::FileIdentity::of(status);
      transfer.files.push_back(std::move(file));
    }
    return transfer;
  }

  std::shared_ptr<RunRecord> start(bool resuming, const PreparedTransfer& transfer, std::stop_token stop = {}) {
    auto record = std::make_shared<RunRecord>();
    auto onEvent = [record](const UploadEvent& event) {
      if (record->outcome) ++record->eventsAfterOutcome;
      record->events.push_back(event);
    };
    auto onFinished = [record](UploadOutcome outcome) { record->outcome = std::move(outcome); };
    if (resuming) {
      engine->resume({transfer}, std::move(stop), onEvent, onFinished);
    } else {
      engine->upload({transfer}, std::move(stop), onEvent, onFinished);
    }
    return record;
  }

  RunRecord run(bool resuming, const PreparedTransfer& transfer) {
    auto record = start(resuming, transfer);
    EXPECT_TRUE(queue.runUntil([&] { return record->outcome.has_value(); }, 60s));
    queue.runUntilIdle();
    EXPECT_EQ(record->eventsAfterOutcome, 0u);
    return *record;
  }
  RunRecord upload(const PreparedTransfer& transfer) { return run(false, transfer); }
  RunRecord resume(const PreparedTransfer& transfer) { return run(true, transfer); }

  void discard() {
    bool discarded = false;
    engine->discard([&] { discarded = true; });
    EXPECT_TRUE(queue.runUntil([&] { return discarded; }, 60s));
  }

  std::string lastTransferId() const { return service.transfers().back().transferId; }
  bool storageHolds(const TransferFile& file) const {
    return service.storageHolds(lastTransferId(), file.referenceID, file.sourceURL);
  }
  std::vector<std::int64_t> signedPartNumbers() const {
    std::vector<std::int64_t> numbers;
    for (const auto& request : service.requests(Endpoint::sign)) {
      // A request the run cut short on its way (a failed partner stops it) arrives without its
      // body and signs nothing.
      const auto body = nlohmann::json::parse(request.body, nullptr, false);
      if (body.is_discarded()) continue;
      if (body.contains("partNumbers")) {
        for (const auto& number : body["partNumbers"]) numbers.push_back(number.get<std::int64_t>());
      }
    }
    return numbers;
  }

  testing::TemporaryDirectory directory;
  StandInService service;
  std::shared_ptr<testing::ScriptedAccessTokenProvider> tokens =
      std::make_shared<testing::ScriptedAccessTokenProvider>();
  std::shared_ptr<TavrelAPIClient> api =
      std::make_shared<TavrelAPIClient>(service.webAppURL(), tokens, testing::makeStandInSession());
  std::shared_ptr<testing::ImmediateTransferClock> clock = std::make_shared<testing::ImmediateTransferClock>();
  platform::ManualMainQueue queue;
  std::unique_ptr<NativeUploadEngine> engine;
  int nextSeed = 1;
};

// A small file goes whole, a large one in three parts (the last of one byte); storage ends up with
// exactly the files' bytes and the store hears progress, then completion, then the outcome.
TEST_F(NativeUploadEngineTest, UploadsWholeAndMultipartFilesAndReportsCompletionLast) {
  auto transfer = prepare({{"notes.txt", 1'000}, {"movie.bin", 10 * MiB + 1}});
  // A name that is not UTF-8 goes to the service as text, as preparation spells it; the bytes come
  // from the file under its real name.
  const auto latin1 = std::filesystem::path(transfer.files[0].sourceURL).parent_path() / "caf\xE9.txt";
  std::filesystem::rename(transfer.files[0].sourceURL, latin1);
  transfer.files.edit([&](auto& files) {
    files[0].sourceURL = latin1;
    files[0].relativePath = "Holiday/caf\uFFFD.txt";
  });
  transfer.defaults.isReviewEnabled = true;
  transfer.defaults.reviewAccessType = "password";
  const auto result = upload(transfer);

  ASSERT_TRUE(result.finished()) << result.failure().value_or("");
  ASSERT_NE(result.completed(), nullptr);
  EXPECT_EQ(result.completed()->transferID, lastTransferId());
  EXPECT_EQ(result.completed()->downloadSlug, "slug-" + lastTransferId());
  ASSERT_TRUE(result.completed()->recentTransfer.has_value());
  EXPECT_EQ(result.completed()->recentTransfer->title, "Holiday");
  EXPECT_EQ(result.completed()->preparedTransfer, transfer);
  EXPECT_TRUE(storageHolds(transfer.files[0]));
  EXPECT_TRUE(storageHolds(transfer.files[1]));

  const auto create = nlohmann::json::parse(service.requests(Endpoint::createTransfer).at(0).body);
  EXPECT_EQ(create["expectedFiles"], 2);
  EXPECT_EQ(create["totalExpectedBytes"], 1'000 + 10 * MiB + 1);
  EXPECT_EQ(create["fileSizes"], nlohmann::json::array({1'000, 10 * MiB + 1}));
  EXPECT_EQ(create["region"], "eu");
  EXPECT_EQ(create["reviewAccessType"], "password");
  EXPECT_EQ(create["filePreviewEnabled"], true);
  const auto registration = nlohmann::json::parse(service.requests(Endpoint::registerFiles).at(0).body);
  EXPECT_EQ(registration[0]["filename"], "caf\uFFFD.txt");
  EXPECT_EQ(registration[1]["id"], transfer.files[1].referenceID);
  EXPECT_EQ(registration[1]["filename"], "movie.bin");
  EXPECT_EQ(registration[1]["relativePath"], "Holiday/movie.bin");

  EXPECT_THAT(signedPartNumbers(), ::testing::UnorderedElementsAre(1, 2, 3));
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 4u);
  const auto completions = service.requests(Endpoint::completeFile);
  ASSERT_EQ(completions.size(), 2u);
  EXPECT_EQ(completions[0].body, "{}");
  const auto parts = nlohmann::json::parse(completions[1].body)["parts"];
  ASSERT_EQ(parts.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(parts[i]["partNumber"], i + 1);
  EXPECT_EQ(parts[2]["etag"].get<std::string>().find('"'), std::string::npos);

  const auto progress = result.progress();
  // Snapshots still waiting on the main queue are replaced by newer ones, so the starting figures may
  // never be seen; what arrives is in order and ends at the whole transfer.
  ASSERT_GE(progress.size(), 2u);
  for (std::size_t i = 1; i < progress.size(); ++i) {
    EXPECT_LE(progress[i - 1].bytesUploaded, progress[i].bytesUploaded);
  }
  EXPECT_EQ(progress.back().bytesUploaded, transfer.totalBytes());
  EXPECT_DOUBLE_EQ(progress.back().progress, 1.0);
  EXPECT_EQ(progress.back().currentFileIndex, 1);
  for (const auto& snapshot : progress) EXPECT_LE(snapshot.bytesUploaded, transfer.totalBytes());
}

TEST_F(NativeUploadEngineTest, SignedHeadersPassOnlyWhenThePolicyAllowsThem) {
  service.setSignedHeaders(std::map<std::string, std::string>{{"Content-Type", "text/plain"},
                                                              {"x-amz-meta-origin", "desktop"},
                                                              {"Authorization", "AWS4 stolen"},
                                                              {"Host", "evil.example"},
                                                              {"x-goog", "no"}});
  const auto transfer = prepare({{"notes.txt", 500}});
  ASSERT_TRUE(upload(transfer).finished());
  const auto put = service.requests(Endpoint::storagePut).at(0);
  EXPECT_EQ(put.header("Content-Type"), "text/plain");
  EXPECT_EQ(put.header("x-amz-meta-origin"), "desktop");
  EXPECT_EQ(put.header("Authorization"), std::nullopt);
  EXPECT_EQ(put.header("x-goog"), std::nullopt);
  EXPECT_NE(put.header("Host").value_or(""), "evil.example");
}

// A line break inside a signed header would let the service's answer add headers of its choosing.
TEST_F(NativeUploadEngineTest, SignedHeaderValuesWithLineBreaksAreRefusedAndNothingIsSent) {
  service.setSignedHeaders(std::map<std::string, std::string>{{"x-amz-meta-a", "1\r\nX-Injected: yes"}});
  const auto result = upload(prepare({{"notes.txt", 500}}));
  EXPECT_EQ(result.failure(), unsafeInstruction);
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 0u);
  EXPECT_EQ(service.requestCount(Endpoint::sign), 1u) << "a policy violation is never retried";
}

TEST_F(NativeUploadEngineTest, HostileStorageAddressesAreRefusedBeforeAByteIsSent) {
  UploadSecurityPolicy policy;
  policy.allowedStorageHosts = {"storage.example"};
  makeEngine(policy);
  const std::vector<std::function<std::string(const std::string&)>> rewrites{
      [](const std::string& url) { return "http" + url.substr(5); },             // plain http to loopback
      [](const std::string& url) { return "ftp" + url.substr(5); },              // another scheme
      [](const std::string&) { return std::string("https://evil.example/x"); },  // another host
      [](const std::string&) { return std::string("https://storage.example@evil.example/x"); },  // userinfo
  };
  for (const auto& rewrite : rewrites) {
    service.setStorageURLRewrite(rewrite);
    EXPECT_EQ(upload(prepare({{"notes.txt", 500}})).failure(), unsafeInstruction);
  }
  EXPECT_EQ(service.storageServer().requestCount(), 0u);
}

// Exactly one plan per registered file, matched by reference: anything else is deleted on the
// service before a byte is uploaded.
TEST_F(NativeUploadEngineTest, PlansThatDoNotMatchTheFilesOneToOneDeleteTheTransfer) {
  for (const auto mutation : {StandInService::PlanMutation::dropLast, StandInService::PlanMutation::duplicateFirst,
                              StandInService::PlanMutation::foreignReference,
                              StandInService::PlanMutation::unknownStrategy}) {
    service.setPlanMutation(mutation);
    const auto result = upload(prepare({{"a.txt", 100}, {"b.txt", 200}}));
    EXPECT_EQ(result.failure(), unexpectedResponse);
    EXPECT_TRUE(service.transfers().back().deleted);
  }
  EXPECT_EQ(service.requestCount(Endpoint::deleteTransfer), 4u);
  EXPECT_EQ(service.requestCount(Endpoint::sign), 0u);
  EXPECT_EQ(service.storageServer().requestCount(), 0u);
}

TEST_F(NativeUploadEngineTest, FailuresBeforeTheTransferIsRegisteredAreNotRetried) {
  service.addFault(Endpoint::createTransfer, 1, Fault::answer(500));
  EXPECT_EQ(upload(prepare({{"a.txt", 100}})).failure(), "Tavrel rejected the upload request.");
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 1u);
  EXPECT_EQ(service.requestCount(Endpoint::registerFiles), 0u);

  service.addFault(Endpoint::registerFiles, 1, Fault::answer(503));
  EXPECT_EQ(upload(prepare({{"a.txt", 100}})).failure(), "Tavrel rejected the upload request.");
  EXPECT_EQ(service.requestCount(Endpoint::registerFiles), 1u);
  EXPECT_TRUE(service.transfers().back().deleted);
  EXPECT_TRUE(clock->sleeps().empty());
}

TEST_F(NativeUploadEngineTest, AWholeFileUploadIsTriedSixTimesWithGrowingPauses) {
  service.failEveryNthStoragePut(1, 503);
  const auto result = upload(prepare({{"a.txt", 100}}));
  EXPECT_EQ(result.failure(), DirectUploadError::http(503).errorDescription());
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 6u);
  EXPECT_EQ(service.requestCount(Endpoint::sign), 6u) << "every attempt is signed anew";

  const auto sleeps = clock->sleeps();
  ASSERT_EQ(sleeps.size(), 5u);
  const std::vector<std::pair<double, double>> bounds{{2.5, 5}, {5, 10}, {10, 20}, {20, 40}, {20, 40}};
  for (std::size_t i = 0; i < sleeps.size(); ++i) {
    const double seconds = std::chrono::duration<double>(sleeps[i]).count();
    EXPECT_GE(seconds, bounds[i].first) << "pause " << i;
    EXPECT_LE(seconds, bounds[i].second) << "pause " << i;
  }
  // The bytes of failed attempts never stay in the figures.
  EXPECT_EQ(result.progress().back().bytesUploaded, 0);
}

TEST_F(NativeUploadEngineTest, WhichStorageAndServiceErrorsAreRetried) {
  // 403 from storage is an expired signature: signed again and sent again.
  service.addFault(Endpoint::storagePut, 1, Fault::answer(403));
  EXPECT_TRUE(upload(prepare({{"a.txt", 100}})).finished());
  EXPECT_EQ(service.requestCount(Endpoint::sign), 2u);

  // 404 is final.
  service.addFault(Endpoint::storagePut, 1, Fault::answer(404));
  EXPECT_EQ(upload(prepare({{"b.txt", 100}})).failure(), DirectUploadError::http(404).errorDescription());
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 3u);

  // The service refusing a completion is final; failing at it is not, up to eleven attempts.
  service.addFault(Endpoint::completeFile, 1, Fault::answer(400));
  EXPECT_TRUE(upload(prepare({{"c.txt", 100}})).failure().has_value());
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 2u);

  service.addFault(Endpoint::completeFile, 0, Fault::answer(500));
  EXPECT_TRUE(upload(prepare({{"d.txt", 100}})).failure().has_value());
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 2u + 11u);
}

// A file that is gone or shorter than when it was prepared cannot be sent by another attempt: whole
// files and parts alike fail at once, with no pause. Whole files used to be retried five times.
TEST_F(NativeUploadEngineTest, AFileThatCannotBeReadAnyMoreFailsAtOnce) {
  auto removed = prepare({{"removed.txt", 100}});
  std::filesystem::remove(removed.files[0].sourceURL);
  EXPECT_EQ(upload(removed).failure(), "The file could not be read.");
  // Without what preparation saw, a shortened file is only a short read.
  auto shortened = prepare({{"shortened.txt", 100}});
  shortened.files.edit([](auto& files) { files[0].identity.reset(); });
  std::filesystem::resize_file(shortened.files[0].sourceURL, 99);
  EXPECT_EQ(upload(shortened).failure(), "The file could not be read.");
  EXPECT_EQ(service.requestCount(Endpoint::sign), 2u) << "one attempt each";
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 0u);

  service.setMultipartThreshold(1);
  auto shortPart = prepare({{"short-part.bin", 1 * MiB}});
  shortPart.files.edit([](auto& files) { files[0].identity.reset(); });
  std::filesystem::resize_file(shortPart.files[0].sourceURL, 1 * MiB - 1);
  EXPECT_EQ(upload(shortPart).failure(), DirectUploadError::cannotRead().errorDescription());
  auto removedPart = prepare({{"removed-part.bin", 1 * MiB}});
  std::filesystem::remove(removedPart.files[0].sourceURL);
  EXPECT_TRUE(upload(removedPart).failure().has_value());
  EXPECT_EQ(service.requestCount(Endpoint::sign), 2u) << "a part is read before it is signed";

  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 0u);
  EXPECT_TRUE(clock->sleeps().empty());
}

// The plans go into the context in file order, so each file finds its own without an index of
// strings per file; an answer in another order is matched by reference, and anything but exactly
// one plan per file is refused.
TEST(NativeUploadEnginePlansTest, PlansArePutInFileOrderOrRefused) {
  TransferFileList files;
  for (const char* reference : {"C", "A", "B"}) files.push_back({reference, "/x/f", "f", 1, "text/plain", {}});
  const auto plan = [](const char* reference) {
    return RemoteFilePlan{reference, std::string("F-") + reference, "f", RemoteUploadStrategy::single, {}, {}};
  };
  const auto references = [](const std::optional<std::vector<RemoteFilePlan>>& plans) {
    std::string text;
    for (const auto& each : plans.value()) text += each.referenceId + "=" + each.fileId + " ";
    return text;
  };
  EXPECT_EQ(references(NativeUploadEngine::plansInFileOrder(files, {plan("C"), plan("A"), plan("B")})),
            "C=F-C A=F-A B=F-B ");
  EXPECT_EQ(references(NativeUploadEngine::plansInFileOrder(files, {plan("A"), plan("B"), plan("C")})),
            "C=F-C A=F-A B=F-B ");
  EXPECT_FALSE(NativeUploadEngine::plansInFileOrder(files, {plan("A"), plan("B")}));
  EXPECT_FALSE(NativeUploadEngine::plansInFileOrder(files, {plan("A"), plan("A"), plan("C")}));
  EXPECT_FALSE(NativeUploadEngine::plansInFileOrder(files, {plan("A"), plan("B"), plan("D")}));
  EXPECT_FALSE(NativeUploadEngine::plansInFileOrder(files, {plan("C"), plan("A"), plan("B"), plan("D")}));

  TransferFileList twice;  // two files under one reference cannot both be answered by its one plan
  for (const char* reference : {"A", "A"}) twice.push_back({reference, "/x/f", "f", 1, "text/plain", {}});
  EXPECT_FALSE(NativeUploadEngine::plansInFileOrder(twice, {plan("A"), plan("B")}));
}

TEST(NativeUploadEngineRetryTest, RetryTable) {
  const auto retryable = [](auto error) { return NativeUploadEngine::isRetryable(std::make_exception_ptr(error)); };
  for (int status : {408, 429, 500, 503, 599}) EXPECT_TRUE(retryable(TransferAPIError::rejected(status, "c", "m")));
  for (int status : {400, 401, 403, 404, 409, 307}) EXPECT_FALSE(retryable(TransferAPIError::rejected(status, "c", "m")));
  EXPECT_TRUE(retryable(TransferAPIError::transportUnavailable()));
  EXPECT_FALSE(retryable(TransferAPIError::unauthorized()));
  EXPECT_FALSE(retryable(TransferAPIError::invalidResponse()));
  for (int status : {401, 403, 408, 429, 500, 502}) EXPECT_TRUE(retryable(DirectUploadError::http(status)));
  for (int status : {400, 404, 409, 412}) EXPECT_FALSE(retryable(DirectUploadError::http(status)));
  EXPECT_FALSE(retryable(DirectUploadError::invalidResponse()));
  EXPECT_FALSE(retryable(DirectUploadError::missingETag()));
  EXPECT_FALSE(retryable(DirectUploadError::cannotRead()));
  EXPECT_TRUE(retryable(platform::TransportError{platform::TransportErrorCode::connectionLost, ""}));
  EXPECT_TRUE(retryable(platform::TransportError{platform::TransportErrorCode::timedOut, ""}));
  EXPECT_FALSE(retryable(platform::TransportError{platform::TransportErrorCode::fileUnreadable, ""}));
  EXPECT_FALSE(retryable(UploadPolicyViolation::untrustedStorageHost));
  EXPECT_FALSE(retryable(std::system_error(ENOENT, std::generic_category())));

  std::mt19937_64 random(42);
  for (int retry = 0; retry < 8; ++retry) {
    const double ceiling = std::min(5.0 * (1 << retry), 40.0);
    for (int draw = 0; draw < 200; ++draw) {
      const double pause = std::chrono::duration<double>(NativeUploadEngine::retryPause(retry, random)).count();
      EXPECT_GE(pause, ceiling / 2);
      EXPECT_LE(pause, ceiling);
    }
  }
}

// A pause that waits until the run is stopped: the stop must end it at once.
class StoppableTransferClock final : public TransferClock {
 public:
  bool sleep(platform::Duration, std::stop_token stop) override {
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    sleeping = true;
    woken.wait(lock, stop, [] { return false; });
    return false;
  }
  std::atomic<bool> sleeping{false};
};

TEST_F(NativeUploadEngineTest, StoppingDuringAPauseEndsTheRunAtOnceAsCancelled) {
  auto pausing = std::make_shared<StoppableTransferClock>();
  engine = std::make_unique<NativeUploadEngine>(api, pausing, testing::makeStandInSession(),
                                                UploadSecurityPolicy::defaultPolicy(), queue);
  service.failEveryNthStoragePut(1, 503);
  std::stop_source stop;
  auto run = start(false, prepare({{"a.txt", 100}}), stop.get_token());
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (!pausing->sleeping && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(pausing->sleeping);
  stop.request_stop();
  ASSERT_TRUE(queue.runUntil([&] { return run->outcome.has_value(); }, 10s));
  EXPECT_TRUE(run->cancelled());
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 1u);
}

TEST_F(NativeUploadEngineTest, PartLayoutsAtThePolicyLimits) {
  service.setMultipartThreshold(1);
  // Exactly two full parts of the smallest size.
  service.setPartSize(5'242'880);
  auto exact = prepare({{"exact.bin", 10 * MiB}});
  ASSERT_TRUE(upload(exact).finished());
  EXPECT_THAT(signedPartNumbers(), ::testing::UnorderedElementsAre(1, 2));
  EXPECT_TRUE(storageHolds(exact.files[0]));

  // The largest part size: one part holding the whole file.
  service.setPartSize(536'870'912);
  auto one = prepare({{"one.bin", 3 * MiB}});
  ASSERT_TRUE(upload(one).finished());
  EXPECT_TRUE(storageHolds(one.files[0]));

  const auto signsBefore = service.requestCount(Endpoint::sign);
  service.setPartSize(5'242'879);
  EXPECT_EQ(upload(prepare({{"small.bin", 6 * MiB}})).failure(), unsafeInstruction);
  service.setPartSize(536'870'913);
  EXPECT_EQ(upload(prepare({{"large.bin", 6 * MiB}})).failure(), unsafeInstruction);
  service.setPartSize(5'242'880);
  service.setPlanMutation(StandInService::PlanMutation::omitPartSize);
  EXPECT_EQ(upload(prepare({{"none.bin", 6 * MiB}})).failure(), unsafeInstruction);
  service.setPlanMutation(StandInService::PlanMutation::none);

  // An empty file has no parts at all; one part too many is as bad.
  service.setMultipartThreshold(0);
  EXPECT_EQ(upload(prepare({{"empty.bin", 0}})).failure(), unsafeInstruction);
  auto huge = prepare({{"huge.bin", 0}});
  huge.files.edit([](auto& files) { files[0].size = 5'242'880LL * 10'000 + 1; });
  EXPECT_EQ(upload(huge).failure(), unsafeInstruction);
  EXPECT_EQ(service.requestCount(Endpoint::sign), signsBefore) << "nothing is signed for a refused layout";
}

// Parts go two at a time; when one fails for good its partner is stopped and no later part starts.
TEST_F(NativeUploadEngineTest, AFailedPartCancelsItsPartnerAndEndsTheFile) {
  service.setMultipartThreshold(1);
  service.storageServer().addFault("PUT", "/storage/.*/parts/3", 1, Fault::answer(404));
  service.storageServer().addFault("PUT", "/storage/.*/parts/4", 1, Fault::stall());
  const auto result = upload(prepare({{"five.bin", 25 * MiB}}));
  EXPECT_EQ(result.failure(), DirectUploadError::http(404).errorDescription());
  // Part 4 may be cancelled before its signature was even asked for; part 5 never starts.
  const auto numbers = signedPartNumbers();
  EXPECT_THAT(numbers, ::testing::IsSupersetOf({1, 2, 3}));
  EXPECT_THAT(numbers, ::testing::Not(::testing::Contains(5)));
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 0u);
}

TEST_F(NativeUploadEngineTest, APartWithoutETagEndsTheRunWithoutRetry) {
  service.setMultipartThreshold(1);
  service.setStorageOmitsETag(true);
  const auto result = upload(prepare({{"one.bin", 1 * MiB}}));
  EXPECT_EQ(result.failure(), DirectUploadError::missingETag().errorDescription());
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 1u);
}

// Storage answering `ETag: ""` has named no part: the run ends there, as without the header, instead
// of failing at completion once every other part has gone up. Sent again, the transfer resumes from
// what storage holds, and the part is completed with its real tag.
TEST_F(NativeUploadEngineTest, AnEmptyETagIsNoTag) {
  class EmptyETagOnce final : public platform::HttpTransport {
   public:
    platform::Expected<platform::HttpResponse, platform::TransportError> send(const platform::HttpRequest& request,
                                                                            std::stop_token stop,
                                                                            platform::UploadProgress progress) override {
      auto response = inner_->send(request, std::move(stop), std::move(progress));
      if (response && request.url.toString().find("/parts/2") != std::string::npos && !blanked_.exchange(true)) {
        for (auto& header : response->headers) {
          if (header.name == "ETag") header.value = "\"\"";
        }
      }
      return response;
    }

   private:
    std::shared_ptr<platform::HttpTransport> inner_ = testing::makeStandInSession();
    std::atomic<bool> blanked_ = false;
  };
  engine = std::make_unique<NativeUploadEngine>(api, clock, std::make_shared<EmptyETagOnce>(),
                                                UploadSecurityPolicy::defaultPolicy(), queue);
  service.setMultipartThreshold(1);
  const auto transfer = prepare({{"three.bin", 10 * MiB + 1}});
  const auto result = upload(transfer);
  EXPECT_EQ(result.failure(), DirectUploadError::missingETag().errorDescription());
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 0u);

  // Storage took part 2's bytes under a tag of its own, which the resume state hands back.
  const auto signedBefore = signedPartNumbers().size();
  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  EXPECT_TRUE(storageHolds(transfer.files[0]));
  const auto numbers = signedPartNumbers();
  EXPECT_THAT(std::vector<std::int64_t>(numbers.begin() + static_cast<std::ptrdiff_t>(signedBefore), numbers.end()),
              ::testing::Not(::testing::Contains(2)));
}

std::string changedText(const std::string& name) {
  return "\u201C" + name + "\u201D changed while it was being sent. Send it again to upload its current contents.";
}

// A file edited after preparation is never sent, whole (the transport's check) or in parts (the
// engine's own read), and never retried: the run fails naming it.
TEST_F(NativeUploadEngineTest, AFileThatIsNoLongerWhatPreparationSawIsNeverSent) {
  auto edited = prepare({{"edited.txt", 100}});
  testing::editInPlace(edited.files[0].sourceURL);
  const auto failed = upload(edited);
  EXPECT_EQ(failed.failure(), changedText("Holiday/edited.txt"));
  EXPECT_EQ(failed.resumable(), false) << "only a fresh preparation sends the new contents";

  service.setMultipartThreshold(1);
  auto editedParts = prepare({{"parts.bin", 10 * MiB}});
  testing::editInPlace(editedParts.files[0].sourceURL);
  EXPECT_EQ(upload(editedParts).failure(), changedText("Holiday/parts.bin"));

  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 0u);
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 0u);
  EXPECT_TRUE(clock->sleeps().empty());
}

// Storage drops a connection halfway through a part, a completion answer is lost after the service
// committed it, and the service wants a new token once: the transfer still completes, whole.
TEST_F(NativeUploadEngineTest, CompletesThroughDroppedConnectionsLostAnswersAndA401) {
  service.setMultipartThreshold(1);
  service.addFault(Endpoint::storagePut, 2, Fault::dropMidUpload());
  service.addFault(Endpoint::completeTransfer, 1, Fault::dropMidBody());
  service.addFault(Endpoint::sign, 3, Fault::answer(401));
  const auto transfer = prepare({{"three.bin", 12 * MiB}});
  const auto result = upload(transfer);
  ASSERT_TRUE(result.finished()) << result.failure().value_or("");
  EXPECT_TRUE(storageHolds(transfer.files[0]));
  EXPECT_EQ(service.requestCount(Endpoint::completeTransfer), 2u);
  EXPECT_EQ(tokens->rejectedTokens(), std::vector<std::string>{"token-1"});
  EXPECT_EQ(result.progress().back().bytesUploaded, transfer.totalBytes());
}

// The service itself sees the files overlap: sign requests wait until two are open at once, which
// files sent one after another would never make.
TEST_F(NativeUploadEngineTest, TheServiceSeesSeveralFilesSignedAtOnce) {
  service.holdSignsUntilConcurrent(2, 20s);
  const auto transfer = prepare({{"a.txt", 10}, {"b.txt", 20}, {"c.txt", 30}, {"d.txt", 40}});
  const auto result = upload(transfer);
  ASSERT_TRUE(result.finished()) << result.failure().value_or("");
  EXPECT_GE(service.mostConcurrentSigns(lastTransferId()), 2u);
}

// Requests cut by a move to another network go again at once (still counted as tries), the
// service's call and storage's PUT alike.
TEST_F(NativeUploadEngineTest, RequestsCutByANetworkChangeAreSentAgainWithoutAPause) {
  class CutOnce final : public platform::HttpTransport {
   public:
    explicit CutOnce(std::string path) : path_(std::move(path)) {}
    platform::Expected<platform::HttpResponse, platform::TransportError> send(const platform::HttpRequest& request,
                                                                            std::stop_token stop,
                                                                            platform::UploadProgress progress) override {
      if (request.url.toString().find(path_) != std::string::npos && !cut_.exchange(true)) {
        return platform::unexpected(platform::TransportError{platform::TransportErrorCode::networkChanged, "moved"});
      }
      return inner_->send(request, std::move(stop), std::move(progress));
    }

   private:
    const std::string path_;
    std::shared_ptr<platform::HttpTransport> inner_ = testing::makeStandInSession();
    std::atomic<bool> cut_ = false;
  };
  api = std::make_shared<TavrelAPIClient>(service.webAppURL(), tokens, std::make_shared<CutOnce>("/sign"));
  engine = std::make_unique<NativeUploadEngine>(api, clock, std::make_shared<CutOnce>("/storage/"),
                                                UploadSecurityPolicy::defaultPolicy(), queue);
  const auto transfer = prepare({{"a.txt", 100}});
  const auto result = upload(transfer);
  ASSERT_TRUE(result.finished()) << result.failure().value_or("");
  EXPECT_TRUE(clock->sleeps().empty());
  EXPECT_EQ(service.requestCount(Endpoint::sign), 2u) << "one signature for each PUT";
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 1u);
  EXPECT_TRUE(storageHolds(transfer.files[0]));
}

TEST_F(NativeUploadEngineTest, ACompletionThatIsNotCompletedFailsAndKeepsTheTransferForResume) {
  service.respond(Endpoint::completeTransfer, 1,
                  StandInResponse::json(R"({"completed":false,"id":"x","slug":"y","isFirstTransfer":false})"));
  const auto transfer = prepare({{"a.txt", 100}});
  const auto failed = upload(transfer);
  EXPECT_EQ(failed.failure(), unexpectedResponse);
  EXPECT_EQ(failed.completed(), nullptr);

  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished());
  EXPECT_EQ(service.requestCount(Endpoint::resumeState), 1u);
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 1u) << "the file was complete already";
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 1u);
}

// Review off: no review access type travels, whatever the defaults hold, and file previews follow
// the defaults.
TEST_F(NativeUploadEngineTest, AnEmptyTransferIsCreatedAndCompletedWithoutFiles) {
  PreparedTransfer empty;
  empty.title = "Nothing";
  empty.defaults.isReviewEnabled = false;
  empty.defaults.reviewAccessType = "password";
  empty.defaults.filePreviewEnabled = false;
  const auto result = upload(empty);
  ASSERT_TRUE(result.finished());
  const auto create = nlohmann::json::parse(service.requests(Endpoint::createTransfer).at(0).body);
  EXPECT_FALSE(create.contains("reviewAccessType"));
  EXPECT_EQ(create["filePreviewEnabled"], false);
  EXPECT_EQ(create["totalExpectedBytes"], 0);
  EXPECT_EQ(create["expectedFiles"], 0);
  EXPECT_EQ(create["fileSizes"], nlohmann::json::array());
  EXPECT_EQ(service.requests(Endpoint::registerFiles).at(0).body, "[]");
  EXPECT_EQ(result.progress().back().currentFileIndex, std::nullopt);
  EXPECT_EQ(result.progress().back().progress, 0.0);
}

TEST_F(NativeUploadEngineTest, ResumeSkipsCompletedFilesAndCompletesFilesStorageAlreadyHolds) {
  const auto transfer = prepare({{"first.txt", 300}, {"second.txt", 400}, {"third.txt", 500}});
  // One file never gets its signature; of the other two, one completes and the other's bytes are
  // stored but its completion is refused, so the run fails.
  service.serviceServer().addFault("POST", ".*/sign", 3, Fault::stall());
  service.respond(Endpoint::completeFile, 2, StandInResponse::json(R"({"error":{"code":"x","message":"No."}})", 400));
  EXPECT_EQ(upload(transfer).failure(), "No.");
  const auto files = service.transfer(lastTransferId())->files;
  const auto completedIndex = std::find_if(files.begin(), files.end(), [](const auto& f) { return f.completed; });
  ASSERT_NE(completedIndex, files.end());
  const auto skipped = static_cast<int>(completedIndex - files.begin());
  const auto putsBefore = service.requestCount(Endpoint::storagePut);
  ASSERT_EQ(putsBefore, 2u);

  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  EXPECT_EQ(service.requestCount(Endpoint::storagePut) - putsBefore, 1u) << "only the unsigned file is sent";
  EXPECT_EQ(service.requests(Endpoint::completeFile).size(), 4u);
  // The last report names the last file, as a completed run always does.
  auto progress = resumed.progress();
  ASSERT_FALSE(progress.empty());
  progress.pop_back();
  for (const auto& snapshot : progress) EXPECT_NE(snapshot.currentFileIndex, skipped);
  for (const auto& file : transfer.files) EXPECT_TRUE(storageHolds(file));
}

TEST_F(NativeUploadEngineTest, ResumeStopsAtExpiredFilesAndTransfersThatCannotBeResumed) {
  const auto transfer = prepare({{"a.txt", 100}, {"b.txt", 100}});
  service.addFault(Endpoint::storagePut, 2, Fault::answer(404));
  const auto failed = upload(transfer);
  ASSERT_TRUE(failed.failure().has_value());
  EXPECT_EQ(failed.resumable(), true) << "a resume asks the service what it still holds";

  service.setExpired(transfer.files[1].referenceID);
  const auto expired = resume(transfer);
  EXPECT_EQ(expired.failure(), "This upload can no longer be resumed.");
  EXPECT_EQ(expired.resumable(), false);

  service.setResumable(false);
  const auto refused = resume(transfer);
  EXPECT_EQ(refused.failure(), "This upload can no longer be resumed.");
  EXPECT_EQ(refused.resumable(), false);
  EXPECT_EQ(resume(transfer).failure(), "This upload can no longer be resumed.");
  EXPECT_EQ(service.requestCount(Endpoint::resumeState), 3u) << "the transfer is kept and asked about again";
  EXPECT_EQ(service.requestCount(Endpoint::deleteTransfer), 0u);
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 1u);

  // A transfer the service no longer holds cannot be resumed either.
  service.respond(Endpoint::resumeState, 4,
                  StandInResponse::json(R"({"error":{"code":"not_found","message":"Gone."}})", 404));
  EXPECT_EQ(resume(transfer).resumable(), false);
}

// The service's resume entries name our files by "localFileId" only: an entry without it belongs to
// no file, so that file goes up again rather than being taken for done.
TEST_F(NativeUploadEngineTest, AResumeEntryWithoutLocalIdMatchesNoFile) {
  const auto transfer = prepare({{"a.txt", 100}});
  service.addFault(Endpoint::storagePut, 1, Fault::answer(404));
  ASSERT_TRUE(upload(transfer).failure().has_value());
  const auto stored = *service.transfer(lastTransferId());
  service.respond(Endpoint::resumeState, 1,
                  StandInResponse::json(nlohmann::json{{"transferId", stored.transferId},
                                                       {"resumable", true},
                                                       {"totalBytes", 100},
                                                       {"bytesUploaded", 100},
                                                       {"files",
                                                        {{{"fileId", stored.files[0].fileId},
                                                          {"expectedSize", 100},
                                                          {"status", "completed"},
                                                          {"bytesUploaded", 100}}}}}
                                            .dump()));
  const auto putsBefore = service.requestCount(Endpoint::storagePut);
  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  EXPECT_EQ(service.requestCount(Endpoint::storagePut) - putsBefore, 1u);
  EXPECT_TRUE(storageHolds(transfer.files[0]));
}

// Storage holds every part but the service has not been told: nothing is signed or sent again, and
// the file completes with the held parts in ascending order, whatever order the service listed.
TEST_F(NativeUploadEngineTest, AMultipartFileWithEveryPartHeldOnlyCompletes) {
  service.setMultipartThreshold(1);
  const auto transfer = prepare({{"three.bin", 10 * MiB + 1}});
  service.respond(Endpoint::completeFile, 1, StandInResponse::json(R"({"error":{"code":"x","message":"No."}})", 400));
  ASSERT_EQ(upload(transfer).failure(), "No.");
  const auto stored = *service.transfer(lastTransferId());
  const auto& parts = stored.files.at(0).parts;
  ASSERT_EQ(parts.size(), 3u);
  nlohmann::json held = nlohmann::json::array();
  for (const std::int64_t number : {3, 1, 2}) held.push_back({{"partNumber", number}, {"etag", parts.at(number).etag}});
  service.respond(Endpoint::resumeState, 1,
                  StandInResponse::json(nlohmann::json{{"transferId", stored.transferId},
                                                       {"resumable", true},
                                                       {"totalBytes", transfer.totalBytes()},
                                                       {"bytesUploaded", transfer.totalBytes()},
                                                       {"files",
                                                        {{{"fileId", stored.files[0].fileId},
                                                          {"expectedSize", transfer.totalBytes()},
                                                          {"status", "uploading"},
                                                          {"partSize", 5 * MiB},
                                                          {"bytesUploaded", transfer.totalBytes()},
                                                          {"completedParts", held},
                                                          {"localFileId", transfer.files[0].referenceID}}}}}
                                            .dump()));
  const auto signsBefore = service.requestCount(Endpoint::sign);
  const auto putsBefore = service.requestCount(Endpoint::storagePut);
  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  EXPECT_EQ(service.requestCount(Endpoint::sign), signsBefore);
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), putsBefore);
  const auto body = nlohmann::json::parse(service.requests(Endpoint::completeFile).back().body);
  ASSERT_EQ(body["parts"].size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(body["parts"][i]["partNumber"], i + 1);
}

// The engine still holds transfer A when the store asks to resume transfer B: completing A would
// hand out A's link for B. A is deleted and B uploaded afresh.
TEST_F(NativeUploadEngineTest, ResumeOfAnotherTransferDiscardsTheOldOneAndUploadsTheNewOne) {
  const auto first = prepare({{"a.txt", 100}});
  service.addFault(Endpoint::storagePut, 1, Fault::answer(404));
  ASSERT_TRUE(upload(first).failure().has_value());
  const auto firstId = lastTransferId();

  const auto second = prepare({{"b.txt", 200}});
  const auto result = resume(second);
  ASSERT_TRUE(result.finished());
  EXPECT_TRUE(service.transfer(firstId)->deleted);
  EXPECT_NE(result.completed()->transferID, firstId);
  EXPECT_EQ(result.completed()->preparedTransfer, second);
  EXPECT_EQ(service.requestCount(Endpoint::resumeState), 0u);
  EXPECT_TRUE(storageHolds(second.files[0]));
}

TEST_F(NativeUploadEngineTest, ResumeWithNothingHeldIsAFreshUpload) {
  const auto transfer = prepare({{"a.txt", 100}});
  ASSERT_TRUE(resume(transfer).finished());
  EXPECT_EQ(service.requestCount(Endpoint::resumeState), 0u);
  // A completed transfer leaves nothing to resume either.
  ASSERT_TRUE(resume(transfer).finished());
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 2u);
}

// Holds the first pause until released; later pauses pass at once.
// Holds every pause until released; afterwards no pause waits.
class GateTransferClock final : public TransferClock {
 public:
  bool sleep(platform::Duration, std::stop_token stop) override {
    std::unique_lock lock(mutex_);
    ++paused_;
    changed_.notify_all();
    changed_.wait(lock, stop, [this] { return released_; });
    return !stop.stop_requested();
  }
  bool waitUntilPaused(int count = 1) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 30s, [&] { return paused_ >= count; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable_any changed_;
  int paused_ = 0;
  bool released_ = false;
};

// The user cancels while the third part waits to be sent again; the run ends quietly, and a resume
// sends only the parts storage does not hold. (Part 3 is held in a pause, not on a stalled
// connection, so the resume never depends on what a cancelled request leaves in the connection pool.)
TEST_F(NativeUploadEngineTest, CancelMidUploadThenResumeSendsOnlyTheMissingParts) {
  auto gate = std::make_shared<GateTransferClock>();
  engine = std::make_unique<NativeUploadEngine>(api, gate, testing::makeStandInSession(),
                                                UploadSecurityPolicy::defaultPolicy(), queue);
  service.setMultipartThreshold(1);
  service.storageServer().addFault("PUT", "/storage/.*/parts/3", 1, Fault::answer(503));
  const auto transfer = prepare({{"five.bin", 25 * MiB - 7}});

  std::stop_source stop;
  auto cancelled = start(false, transfer, stop.get_token());
  ASSERT_TRUE(gate->waitUntilPaused());
  // A window, not batches: while part 3 waits, its partner's lane goes on with parts 4 and 5.
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (service.transfer(lastTransferId())->files.at(0).parts.size() < 4 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_THAT(signedPartNumbers(), ::testing::UnorderedElementsAre(1, 2, 3, 4, 5));
  stop.request_stop();
  ASSERT_TRUE(queue.runUntil([&] { return cancelled->outcome.has_value(); }, 30s));
  EXPECT_TRUE(cancelled->cancelled()) << cancelled->failure().value_or("");

  const auto held = service.transfer(lastTransferId())->files.at(0).parts;
  ASSERT_EQ(held.size(), 4u);
  EXPECT_EQ(held.count(3), 0u);
  const auto putsBefore = service.requestCount(Endpoint::storagePut);
  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  EXPECT_EQ(service.requestCount(Endpoint::storagePut) - putsBefore, 1u);
  EXPECT_TRUE(storageHolds(transfer.files[0]));
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 1u);
  // Counting starts from what storage already holds (the first figures may have been replaced by
  // newer ones before the main thread saw them).
  const auto progress = resumed.progress();
  ASSERT_FALSE(progress.empty());
  EXPECT_GE(progress.front().bytesUploaded, 4 * 5 * MiB - 7);
}

// The user edits the file while its second part waits to be sent again: the parts already read
// still go up, but the third is read from the edited file, so the file is never completed and the
// run fails naming it.
TEST_F(NativeUploadEngineTest, AFileEditedMidUploadFailsAndIsNeverCompleted) {
  auto gate = std::make_shared<GateTransferClock>();
  engine = std::make_unique<NativeUploadEngine>(api, gate, testing::makeStandInSession(),
                                                UploadSecurityPolicy::defaultPolicy(), queue);
  service.setMultipartThreshold(1);
  // Both parts in flight wait to be tried again, so part 4 is read only after the edit.
  service.storageServer().addFault("PUT", "/storage/.*/parts/2", 1, Fault::answer(503));
  service.storageServer().addFault("PUT", "/storage/.*/parts/3", 1, Fault::answer(503));
  const auto transfer = prepare({{"four.bin", 15 * MiB + 1}});

  auto record = start(false, transfer);
  ASSERT_TRUE(gate->waitUntilPaused(2));
  testing::editInPlace(transfer.files[0].sourceURL);
  gate->release();
  ASSERT_TRUE(queue.runUntil([&] { return record->outcome.has_value(); }, 60s));
  EXPECT_EQ(record->failure(), changedText("Holiday/four.bin"));
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 0u);
  EXPECT_THAT(signedPartNumbers(), ::testing::Not(::testing::Contains(4)));
}

// Transfer A finishes only after the store has already asked for transfer B. A's completion must
// clear A's context, never B's: B stays resumable.
TEST_F(NativeUploadEngineTest, ALateRunLeavesTheContextOfALaterTransferAlone) {
  auto gate = std::make_shared<GateTransferClock>();
  engine = std::make_unique<NativeUploadEngine>(api, gate, testing::makeStandInSession(),
                                                UploadSecurityPolicy::defaultPolicy(), queue);
  const auto first = prepare({{"a.txt", 100}});
  const auto second = prepare({{"b.txt", 200}});
  service.addFault(Endpoint::completeTransfer, 1, Fault::answer(503));
  auto late = start(false, first);
  ASSERT_TRUE(gate->waitUntilPaused());

  service.addFault(Endpoint::storagePut, 1, Fault::answer(404));
  auto next = start(false, second);
  // Operations run in call order: B has not begun while A waits.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 1u);
  gate->release();
  ASSERT_TRUE(queue.runUntil([&] { return late->outcome && next->outcome; }, 30s));
  EXPECT_TRUE(late->finished());
  EXPECT_TRUE(next->failure().has_value());
  const auto secondId = lastTransferId();

  const auto resumed = resume(second);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  EXPECT_EQ(resumed.completed()->transferID, secondId);
  EXPECT_EQ(service.requestCount(Endpoint::resumeState), 1u);
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 2u);
}

// The engine goes away mid-upload (the program quits): its run stops and nothing it had queued for
// the main thread reaches the caller any more.
TEST_F(NativeUploadEngineTest, DestroyingTheEngineStopsItsRunAndDropsWhatItWouldStillReport) {
  service.addFault(Endpoint::storagePut, 1, Fault::stall());
  auto abandoned = start(false, prepare({{"a.txt", 100}}));
  ASSERT_TRUE(service.storageServer().waitForRequestsStarted(1, 30s));
  engine.reset();
  const auto eventsBefore = abandoned->events.size();
  queue.runUntilIdle();
  EXPECT_FALSE(abandoned->outcome.has_value());
  EXPECT_EQ(abandoned->events.size(), eventsBefore);
}

TEST_F(NativeUploadEngineTest, DiscardDeletesOnceEvenWhenTheDeleteFails) {
  discard();
  EXPECT_EQ(service.serviceServer().requestCount(), 0u);

  const auto transfer = prepare({{"a.txt", 100}});
  service.addFault(Endpoint::storagePut, 1, Fault::answer(404));
  ASSERT_TRUE(upload(transfer).failure().has_value());
  service.addFault(Endpoint::deleteTransfer, 1, Fault::answer(500));
  discard();
  EXPECT_EQ(service.requestCount(Endpoint::deleteTransfer), 1u);
  discard();
  EXPECT_EQ(service.requestCount(Endpoint::deleteTransfer), 1u);

  // The context went with the discard: a resume now starts afresh.
  ASSERT_TRUE(resume(transfer).finished());
  EXPECT_EQ(service.requestCount(Endpoint::createTransfer), 2u);
}

// A discard called right after a stop waits for the stopped run and then deletes what it left.
TEST_F(NativeUploadEngineTest, DiscardAfterAStoppedRunDeletesWhatTheRunLeft) {
  service.addFault(Endpoint::storagePut, 1, Fault::stall());
  std::stop_source stop;
  auto cancelled = start(false, prepare({{"a.txt", 100}}), stop.get_token());
  ASSERT_TRUE(service.storageServer().waitForRequestsStarted(1, 30s));
  stop.request_stop();
  bool discarded = false;
  engine->discard([&] { discarded = true; });
  ASSERT_TRUE(queue.runUntil([&] { return discarded; }, 30s));
  EXPECT_TRUE(cancelled->cancelled());
  EXPECT_TRUE(service.transfers().back().deleted);
}


// Every request of a run passes through here; storage PUTs wait until the test answers them, in
// any order, and how many requests are open at once is counted.
class HeldRequests final : public platform::HttpTransport {
 public:
  platform::Expected<platform::HttpResponse, platform::TransportError> send(const platform::HttpRequest& request,
                                                                          std::stop_token stop,
                                                                          platform::UploadProgress progress) override {
    const std::string url = request.url.toString();
    const bool held = request.method == "PUT" && url.find("/storage/") != std::string::npos;
    std::optional<platform::HttpResponse> answer;
    {
      std::unique_lock lock(mutex_);
      peak_ = std::max(peak_, ++open_);
      if (held) {
        held_.push_back(url);
        changed_.notify_all();
        changed_.wait(lock, stop, [&] {
          const bool keptBack = !keptBack_.empty() && url.find(keptBack_) != std::string::npos;
          return (releasingAll_ && !keptBack) || answers_.contains(url);
        });
        held_.erase(std::find(held_.begin(), held_.end(), url));
        if (const auto found = answers_.find(url); found != answers_.end()) {
          answer = std::exchange(found->second, std::nullopt);
          answers_.erase(found);
        }
      }
    }
    const auto end = [&](auto result) {
      std::lock_guard lock(mutex_);
      --open_;
      changed_.notify_all();
      return result;
    };
    if (stop.stop_requested()) {
      return end(platform::Expected<platform::HttpResponse, platform::TransportError>(
          platform::unexpected(platform::TransportError{platform::TransportErrorCode::cancelled, "stopped"})));
    }
    if (answer) return end(platform::Expected<platform::HttpResponse, platform::TransportError>(std::move(*answer)));
    return end(inner_->send(request, stop, std::move(progress)));
  }

  // The URLs of the PUTs waiting for an answer, once there are `count` of them.
  std::vector<std::string> waitUntilHeld(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 30s, [&] { return held_.size() == count; });
    return held_;
  }
  // Lets a held PUT through to storage, or answers it with `status` (and `headers`) instead.
  void release(const std::string& url, std::optional<int> status = std::nullopt,
               std::vector<platform::HttpHeader> headers = {}) {
    std::lock_guard lock(mutex_);
    answers_[url] = status ? std::optional(platform::HttpResponse{*status, std::move(headers), "", {}}) : std::nullopt;
    changed_.notify_all();
  }
  // Lets every PUT through from now on, but those whose URL holds `keptBack` (unless released).
  void releaseAll(std::string keptBack = {}) {
    std::lock_guard lock(mutex_);
    releasingAll_ = true;
    keptBack_ = std::move(keptBack);
    changed_.notify_all();
  }
  std::size_t peak() const {
    std::lock_guard lock(mutex_);
    return peak_;
  }
  std::size_t open() const {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  std::shared_ptr<platform::HttpTransport> inner_ = testing::makeStandInSession();
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<std::string> held_;
  std::map<std::string, std::optional<platform::HttpResponse>> answers_;
  bool releasingAll_ = false;
  std::string keptBack_;
  std::size_t open_ = 0;
  std::size_t peak_ = 0;
};

class NativeUploadEngineWindowTest : public NativeUploadEngineTest {
 protected:
  NativeUploadEngineWindowTest() {
    api = std::make_shared<TavrelAPIClient>(service.webAppURL(), tokens, held);
    engine = std::make_unique<NativeUploadEngine>(api, clock, held, UploadSecurityPolicy::defaultPolicy(), queue);
  }

  PreparedTransfer smallFiles(int count) {
    std::vector<std::pair<std::string, std::int64_t>> files;
    for (int index = 0; index < count; ++index) files.emplace_back("file-" + std::to_string(index) + ".txt", 100 + index);
    return prepare(files);
  }
  // Which file of the transfer a storage URL belongs to.
  std::size_t fileIndexOf(const std::string& url) const {
    const auto files = service.transfer(lastTransferId())->files;
    for (std::size_t index = 0; index < files.size(); ++index) {
      if (url.find("/" + files[index].fileId + "?") != std::string::npos) return index;
    }
    ADD_FAILURE() << "no file for " << url;
    return files.size();
  }
  std::set<std::size_t> heldFiles(std::size_t count) {
    std::set<std::size_t> indices;
    for (const auto& url : held->waitUntilHeld(count)) indices.insert(fileIndexOf(url));
    return indices;
  }
  // The held PUTs by file, once there are `count` of them.
  std::map<std::size_t, std::string> heldURLs(std::size_t count) {
    std::map<std::size_t, std::string> urls;
    for (const auto& url : held->waitUntilHeld(count)) urls[fileIndexOf(url)] = url;
    return urls;
  }
  bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }
  static std::set<std::size_t> range(std::size_t first, std::size_t last) {
    std::set<std::size_t> indices;
    for (auto index = first; index <= last; ++index) indices.insert(index);
    return indices;
  }

  std::shared_ptr<HeldRequests> held = std::make_shared<HeldRequests>();
};

// Files start in file order, filesInFlight at once, and no server gets more than requestsInFlight
// requests at once; answers that come back out of order never move the current file back, and the
// transfer is completed only after its last file.
TEST_F(NativeUploadEngineWindowTest, FilesMoveAtOnceInFileOrderAndTheTransferCompletesAfterTheLast) {
  constexpr auto files = NativeUploadEngine::filesInFlight;
  constexpr auto perServer = NativeUploadEngine::requestsInFlight;
  static_assert(perServer < files, "storage's window is what holds the files back here");
  const auto transfer = smallFiles(40);
  auto record = start(false, transfer);
  // Every file in flight has its signature; storage takes only its share of them at once.
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::sign) == files; }));
  const auto first = heldFiles(perServer);
  EXPECT_LT(*first.rbegin(), files);

  // Everything but file 0 is answered: file 0 stays the current file while all the others finish.
  held->releaseAll("/" + service.transfer(lastTransferId())->files.at(0).fileId + "?");
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::completeFile) == 39; }));
  queue.runUntilIdle();
  for (const auto& snapshot : record->progress()) EXPECT_EQ(snapshot.currentFileIndex.value_or(0), 0);
  EXPECT_EQ(service.requestCount(Endpoint::completeTransfer), 0u);

  held->releaseAll();
  ASSERT_TRUE(queue.runUntil([&] { return record->outcome.has_value(); }, 60s));
  queue.runUntilIdle();
  ASSERT_TRUE(record->finished()) << record->failure().value_or("");
  for (const auto& file : transfer.files) EXPECT_TRUE(storageHolds(file));
  // One request at a time for each file in flight, both servers together.
  EXPECT_LE(held->peak(), files);
  int current = -1;
  for (const auto& snapshot : record->progress()) {
    if (!snapshot.currentFileIndex) continue;
    EXPECT_GE(*snapshot.currentFileIndex, current) << "the current file moved back";
    current = *snapshot.currentFileIndex;
  }
}

// One file's failure ends the others in flight silently; the run fails once, with that file's
// error, and keeps its transfer so that a resume sends what is missing.
TEST_F(NativeUploadEngineWindowTest, AFileThatFailsStopsTheFilesInFlightAndFailsTheRunWithItsError) {
  const auto transfer = smallFiles(40);
  auto record = start(false, transfer);
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::sign) == NativeUploadEngine::filesInFlight; }));
  held->release(heldURLs(NativeUploadEngine::requestsInFlight).rbegin()->second, 404);
  ASSERT_TRUE(queue.runUntil([&] { return record->outcome.has_value(); }, 30s));
  queue.runUntilIdle();
  EXPECT_EQ(record->failure(), DirectUploadError::http(404).errorDescription());
  EXPECT_EQ(record->resumable(), true);
  EXPECT_EQ(held->open(), 0u);
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 0u);
  EXPECT_EQ(service.requestCount(Endpoint::sign), NativeUploadEngine::filesInFlight) << "no file past the window";

  held->releaseAll();
  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  for (const auto& file : transfer.files) EXPECT_TRUE(storageHolds(file));
}

// A cancel ends every request in flight at once; the resume skips the files that completed, and
// sends the ones that were in flight and the ones that never started, each once.
TEST_F(NativeUploadEngineWindowTest, CancelMidWindowThenResumeSendsWhatWasInFlightAndWhatNeverStarted) {
  const auto transfer = smallFiles(40);
  std::stop_source stop;
  auto cancelled = start(false, transfer, stop.get_token());
  const auto urls = heldURLs(NativeUploadEngine::requestsInFlight);
  auto url = urls.begin();
  for (int count = 0; count < 4; ++count, ++url) held->release(url->second);
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::completeFile) == 4; }));
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::sign) == NativeUploadEngine::filesInFlight + 4; }));
  held->waitUntilHeld(NativeUploadEngine::requestsInFlight);
  stop.request_stop();
  ASSERT_TRUE(queue.runUntil([&] { return cancelled->outcome.has_value(); }, 30s));
  EXPECT_TRUE(cancelled->cancelled()) << cancelled->failure().value_or("");
  EXPECT_EQ(held->open(), 0u);
  ASSERT_EQ(service.requestCount(Endpoint::storagePut), 4u);

  held->releaseAll();
  const auto resumed = resume(transfer);
  ASSERT_TRUE(resumed.finished()) << resumed.failure().value_or("");
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 40u) << "each file reached storage once";
  EXPECT_EQ(service.requestCount(Endpoint::completeFile), 40u);
  for (const auto& file : transfer.files) EXPECT_TRUE(storageHolds(file));
}

// A busy answer halves the files at once, and each completed file lets one more back in; the
// file told to wait waits as long as it was asked.
TEST_F(NativeUploadEngineWindowTest, ABusyAnswerLetsFewerFilesStartAndItsWaitIsHonoured) {
  constexpr auto files = NativeUploadEngine::filesInFlight;
  const auto transfer = smallFiles(60);
  auto record = start(false, transfer);
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::sign) == files; }));
  auto urls = heldURLs(NativeUploadEngine::requestsInFlight);
  const auto busy = urls.begin();
  held->release(busy->second, 429, {{"Retry-After", "30"}});
  // It goes again at once on this clock, with a signature of its own; the window is now half.
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::sign) == files + 1; }));
  urls.erase(busy);
  // Each answered file adds one back, but nothing new starts until fewer files are in flight
  // than the window allows: after k files, files - k in flight against files / 2 + k.
  constexpr std::size_t answered = files / 4 + 2;
  auto url = urls.begin();
  for (std::size_t count = 0; count < answered; ++count, ++url) held->release(url->second);
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::completeFile) == answered; }));
  const std::size_t started = files / 2 + answered - (files - answered);
  EXPECT_TRUE(eventually([&] { return service.requestCount(Endpoint::sign) == files + 1 + started; }))
      << service.requestCount(Endpoint::sign);

  held->releaseAll();
  ASSERT_TRUE(queue.runUntil([&] { return record->outcome.has_value(); }, 60s));
  ASSERT_TRUE(record->finished()) << record->failure().value_or("");
  const auto sleeps = clock->sleeps();
  ASSERT_EQ(sleeps.size(), 1u);
  EXPECT_GE(sleeps.front(), 30s);
}

// What storage holds from a failed run is kept only while its file is still what was sent: an
// edit, or a file gone, refuses the resume before anything is sent, so that the store starts afresh.
TEST_F(NativeUploadEngineWindowTest, AResumeIsRefusedWhenAFileStorageHoldsChangedOrWentAway) {
  const auto transfer = smallFiles(3);
  auto record = start(false, transfer);
  const auto urls = heldURLs(3);
  held->release(urls.at(0));
  held->release(urls.at(1));
  ASSERT_TRUE(eventually([&] { return service.requestCount(Endpoint::completeFile) == 2; }));
  held->release(urls.at(2), 404);
  ASSERT_TRUE(queue.runUntil([&] { return record->outcome.has_value(); }, 30s));
  ASSERT_EQ(record->resumable(), true);
  held->releaseAll();
  const auto requestsBefore = service.serviceServer().requestCount();

  testing::editInPlace(transfer.files[0].sourceURL);
  const auto edited = resume(transfer);
  EXPECT_EQ(edited.failure(), changedText("Holiday/file-0.txt"));
  EXPECT_EQ(edited.resumable(), false);

  std::filesystem::remove(transfer.files[1].sourceURL);
  const auto gone = resume(transfer);
  EXPECT_EQ(gone.failure(), changedText("Holiday/file-0.txt")) << "the first changed file is named";
  // Each resume asked for the resume state and nothing more.
  EXPECT_EQ(service.serviceServer().requestCount() - requestsBefore, 2u);
  EXPECT_EQ(service.requestCount(Endpoint::storagePut), 2u);
}

TEST(RequestWindowTest, ShrinksToOneGrowsBackByOneAndAStopEndsTheWait) {
  RequestWindow window(16);
  window.shrink();
  EXPECT_EQ(window.limit(), 8u);
  for (int index = 0; index < 5; ++index) window.shrink();
  EXPECT_EQ(window.limit(), 1u);
  for (int index = 0; index < 20; ++index) window.grow();
  EXPECT_EQ(window.limit(), 16u);

  RequestWindow one(1);
  ASSERT_TRUE(one.enter({}));
  std::stop_source stop;
  std::atomic<bool> entered = true;
  std::jthread waiting([&] { entered = one.enter(stop.get_token()); });
  stop.request_stop();
  waiting.join();
  EXPECT_FALSE(entered);
  one.leave();
  EXPECT_TRUE(one.enter({}));
}

}  // namespace
}  // namespace tavrel
