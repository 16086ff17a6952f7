// The whole upload engine (create, register, multipart two parts at a time, complete) against the
// local stand-in of the service, side by side with the curl command-line tool putting the same file
// in one request to the same storage sink; then the same transfer under injected faults, and a
// cancelled upload that is resumed.
//
//   tavrel_bench_engine [--size-mib N] [--part-mib N] [--runs N]
//   tavrel_bench_engine --service URL --ca FILE --token TOKEN [--size-mib N] [--runs N] [--file PATH]
//   tavrel_bench_engine --service URL --ca FILE --token TOKEN --small-files N[,N,...] [--runs N]
//                       [--folder DIR] [--only engine|libcurl]
//
// The file holds random bytes; storage hashes everything it receives and the run fails unless
// storage holds exactly the file's bytes. With --service, only the throughput is measured, against a
// running local service (tavrel-local-service) with an access token it issued, and the service
// decides the part size: the program benchmark uses this as the engine-alone reference.
//
// With --small-files, each count of 4 KiB files (made under the temporary folder, or those of
// --folder) goes through the engine against the running service, taking turns with a plain libcurl
// program that sends the same requests one after another on one connection (create, register, then
// per file sign, PUT, complete file; complete transfer): files per second for both and their ratio,
// medians over the runs, and how the time grows from the smallest count to the largest. --only runs
// one of the two, so that a fault put on the link (bench/slow_link_benchmark.py) meets each alone;
// "sending" is printed as each run starts, for the same reason.

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "platform/curl_transport.h"
#include "platform/gio_network_monitor.h"
#include "platform/json.h"
#include "platform/manual_main_queue.h"
#include "platform/uuid.h"
#include "service/http_session.h"
#include "service/native_upload_engine.h"
#include "service/tavrel_api_client.h"
#include "support/stand_in_service.h"

namespace {

using namespace tavrel;
using testing::Fault;
using testing::StandInService;
using Endpoint = StandInService::Endpoint;
using Clock = std::chrono::steady_clock;

constexpr double MiB = 1024.0 * 1024.0;

struct Options {
  std::uint64_t sizeMiB = 2048;
  std::uint64_t partMiB = 64;
  int runs = 1;
  std::string service;
  std::filesystem::path certificateAuthority;
  std::string token;
  std::filesystem::path file;
  std::vector<std::size_t> smallFiles;
  std::filesystem::path folder;
  bool runEngine = true;
  bool runReference = true;
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument("missing value after " + argument);
      return argv[++i];
    };
    if (argument == "--size-mib") options.sizeMiB = std::stoull(next());
    else if (argument == "--part-mib") options.partMiB = std::stoull(next());
    else if (argument == "--runs") options.runs = std::stoi(next());
    else if (argument == "--service") options.service = next();
    else if (argument == "--ca") options.certificateAuthority = next();
    else if (argument == "--token") options.token = next();
    else if (argument == "--file") options.file = next();
    else if (argument == "--folder") options.folder = next();
    else if (argument == "--only") {
      const std::string which = next();
      if (which != "engine" && which != "libcurl") throw std::invalid_argument("--only takes engine or libcurl");
      options.runEngine = which == "engine";
      options.runReference = which == "libcurl";
    }
    else if (argument == "--small-files") {
      std::stringstream counts(next());
      for (std::string count; std::getline(counts, count, ',');) options.smallFiles.push_back(std::stoull(count));
    }
    else throw std::invalid_argument("unknown argument " + argument);
  }
  if (options.sizeMiB == 0 || options.partMiB < 5 || options.runs <= 0) {
    throw std::invalid_argument("size and runs must be positive, parts at least 5 MiB");
  }
  if (!options.service.empty() && (options.certificateAuthority.empty() || options.token.empty())) {
    throw std::invalid_argument("--service needs --ca and --token");
  }
  return options;
}

// Peak resident memory of this process since the last reset, in bytes.
void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Waits between attempts briefly: the faults run checks the outcome, not the pauses. The pause
// varies, as the real one does: a fixed one let a part's partner send exactly two parts during it,
// so that with every third PUT refused the same part was refused every time it was tried.
class ShortPauseClock final : public TransferClock {
 public:
  bool sleep(platform::Duration, std::stop_token stop) override {
    std::chrono::milliseconds pause;
    {
      std::lock_guard lock(mutex_);
      pause = std::chrono::milliseconds(std::uniform_int_distribution<int>(1, 30)(random_));
    }
    std::this_thread::sleep_for(pause);
    return !stop.stop_requested();
  }

 private:
  std::mutex mutex_;
  std::mt19937 random_{7};
};

struct Bench {
  StandInService service;
  platform::ManualMainQueue queue;
  std::shared_ptr<testing::ScriptedAccessTokenProvider> tokens =
      std::make_shared<testing::ScriptedAccessTokenProvider>();
  std::shared_ptr<TavrelAPIClient> api =
      std::make_shared<TavrelAPIClient>(service.webAppURL(), tokens, testing::makeStandInSession());
  std::unique_ptr<NativeUploadEngine> engine;

  explicit Bench(std::shared_ptr<TransferClock> clock) {
    service.storageServer().setBodyLimit(0);
    engine = std::make_unique<NativeUploadEngine>(api, std::move(clock), testing::makeStandInSession(),
                                                  UploadSecurityPolicy::defaultPolicy(), queue);
  }

  UploadOutcome run(bool resuming, const PreparedTransfer& transfer, std::stop_token stop = {},
                    const std::function<void()>& whileRunning = {}) {
    std::optional<UploadOutcome> outcome;
    auto onFinished = [&](UploadOutcome result) { outcome = std::move(result); };
    if (resuming) engine->resume({transfer}, stop, [](const UploadEvent&) {}, onFinished);
    else engine->upload({transfer}, stop, [](const UploadEvent&) {}, onFinished);
    if (whileRunning) whileRunning();
    if (!queue.runUntil([&] { return outcome.has_value(); }, std::chrono::hours(1))) {
      throw std::runtime_error("the upload did not end within an hour");
    }
    return *outcome;
  }
};

std::string describe(const UploadOutcome& outcome) {
  if (std::holds_alternative<upload_outcome::Finished>(outcome)) return "finished";
  if (std::holds_alternative<Cancelled>(outcome)) return "cancelled";
  return "failed: " + std::get<upload_outcome::Failed>(outcome).error.localizedDescription;
}

PreparedTransfer transferOf(const std::filesystem::path& file) {
  PreparedTransfer transfer;
  transfer.title = "Benchmark";
  transfer.defaults.expiryDays = 7;
  TransferFile entry;
  entry.referenceID = platform::Uuid::generate().toString();
  entry.sourceURL = file;
  entry.relativePath = file.filename().string();
  entry.size = static_cast<std::int64_t>(std::filesystem::file_size(file));
  entry.mimeType = "application/octet-stream";
  transfer.files.push_back(entry);
  return transfer;
}

double curlToolUpload(StandInService& service, const std::filesystem::path& file, std::uint64_t size, int run) {
  const std::string key = "tool-" + std::to_string(run);
  const double elapsed =
      bench::curlToolPut(file, service.presignedObjectURL(key), testing::testCertificateAuthorityFile());
  const auto stored = service.storedObject(key);
  if (!stored || stored->size != size) throw std::runtime_error("storage did not receive the curl tool's upload");
  return static_cast<double>(size) / MiB / elapsed;
}

// The engine alone against a running local service: what the program benchmark compares the
// program's own upload of the same file with.
int againstRunningService(const Options& options, const std::filesystem::path& file) {
  const auto url = platform::Url::parse(options.service);
  if (!url) throw std::invalid_argument("--service is not an address: " + options.service);
  platform::CurlTransportOptions transportOptions;
  transportOptions.certificateAuthorityFile = options.certificateAuthority;
  // As in the program: a change of network the desktop reports closes the kept connections.
  transportOptions.networkMonitor = platform::GioNetworkMonitor::shared();
  const auto session = std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, transportOptions);
  const auto tokens = std::make_shared<testing::ScriptedAccessTokenProvider>(std::vector<std::string>{options.token});
  const auto api = std::make_shared<TavrelAPIClient>(*url, tokens, session);
  platform::ManualMainQueue queue;
  NativeUploadEngine engine(api, std::make_shared<SystemTransferClock>(), session,
                            UploadSecurityPolicy::defaultPolicy(), queue);
  const double size = static_cast<double>(std::filesystem::file_size(file));
  double best = 0;
  for (int run = 1; run <= options.runs; ++run) {
    std::optional<UploadOutcome> outcome;
    const auto start = Clock::now();
    engine.upload({transferOf(file)}, {}, [](const UploadEvent&) {}, [&](UploadOutcome result) { outcome = result; });
    if (!queue.runUntil([&] { return outcome.has_value(); }, std::chrono::hours(1))) {
      throw std::runtime_error("the upload did not end within an hour");
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (!std::holds_alternative<upload_outcome::Finished>(*outcome)) {
      throw std::runtime_error("engine upload " + describe(*outcome));
    }
    const double throughput = size / MiB / elapsed;
    std::printf("engine alone, run %d: %.1f MiB/s (%.2f s)\n", run, throughput, elapsed);
    best = std::max(best, throughput);
  }
  std::printf("engine alone, best: %.1f MiB/s\n", best);
  return 0;
}

// ---- Many small files: the engine beside the same requests made by plain libcurl ----

constexpr std::uint64_t smallFileSize = 4 * 1024;

// `count` files of 4 KiB of random bytes in `folder`, named in upload order.
std::vector<std::filesystem::path> makeSmallFiles(const std::filesystem::path& folder, std::size_t count) {
  std::filesystem::create_directories(folder);
  std::vector<std::filesystem::path> files;
  std::ifstream random("/dev/urandom", std::ios::binary);
  std::string bytes(smallFileSize, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%06zu.bin", i);
    files.push_back(folder / name);
    random.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::ofstream(files.back(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  return files;
}

PreparedTransfer transferOfFiles(const std::vector<std::filesystem::path>& files) {
  PreparedTransfer transfer;
  transfer.title = "Small files";
  transfer.defaults.expiryDays = 7;
  for (const auto& path : files) {
    TransferFile entry;
    entry.referenceID = platform::Uuid::generate().toString();
    entry.sourceURL = path;
    entry.relativePath = "Small/" + path.filename().string();
    entry.size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    entry.mimeType = "application/octet-stream";
    struct ::stat status {};
    if (::stat(path.c_str(), &status) == 0) entry.identity = platform::FileIdentity::of(status);
    transfer.files.push_back(std::move(entry));
  }
  return transfer;
}

CreateRemoteTransferRequest createRequestOf(const PreparedTransfer& transfer) {
  CreateRemoteTransferRequest request;
  request.title = transfer.title;
  request.expectedFiles = static_cast<std::int64_t>(transfer.files.size());
  request.totalExpectedBytes = transfer.totalBytes();
  for (const auto& file : transfer.files) request.fileSizes.push_back(file.size);
  request.expiryDays = transfer.defaults.expiryDays;
  request.region = std::string(rawValue(transfer.defaults.region));
  request.oneTimeDownload = transfer.defaults.oneTimeDownload;
  request.isReviewEnabled = transfer.defaults.isReviewEnabled;
  request.filePreviewEnabled = transfer.defaults.filePreviewEnabled;
  return request;
}

// The reference: one libcurl handle, one request after another, the headers the engine sends.
class LibcurlReference {
 public:
  LibcurlReference(std::string base, std::filesystem::path authority, std::string token)
      : base_(std::move(base)), authority_(authority.string()), token_(std::move(token)), easy_(curl_easy_init()) {
    if (!base_.empty() && base_.back() == '/') base_.pop_back();
    curl_easy_setopt(easy_, CURLOPT_CAINFO, authority_.c_str());
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &LibcurlReference::collect);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &answer_);
    curl_easy_setopt(easy_, CURLOPT_READFUNCTION, &LibcurlReference::supply);
    curl_easy_setopt(easy_, CURLOPT_READDATA, this);
    // A request on a reused connection that died is sent again on a new one, from the start.
    curl_easy_setopt(easy_, CURLOPT_SEEKFUNCTION, &LibcurlReference::seek);
    curl_easy_setopt(easy_, CURLOPT_SEEKDATA, this);
  }
  ~LibcurlReference() { curl_easy_cleanup(easy_); }
  LibcurlReference(const LibcurlReference&) = delete;
  LibcurlReference& operator=(const LibcurlReference&) = delete;

  double send(const PreparedTransfer& transfer) {
    const auto start = Clock::now();
    const auto session = api("POST", "/api/v1/transfers", platform::serializeJson(createRequestOf(transfer).toJson()));
    const std::string transferId = session.at("transferId").get<std::string>();
    std::vector<RemoteFileRegistration> registrations;
    for (const auto& file : transfer.files) {
      registrations.push_back({file.referenceID, std::filesystem::path(file.sourceURL).filename().string(),
                               file.relativePath, file.mimeType, file.size});
    }
    const auto plans = api("POST", "/api/v1/transfers/" + transferId + "/files",
                           platform::serializeJson(platform::jsonArray(registrations)));
    std::map<std::string, std::string> fileIds;
    for (const auto& plan : plans.at("plans")) fileIds[plan.at("referenceId")] = plan.at("fileId");
    for (const auto& file : transfer.files) {
      const std::string path = "/api/v1/transfers/" + transferId + "/files/" + fileIds.at(file.referenceID);
      const auto signature = api("POST", path + "/sign", "{}");
      std::vector<std::string> headers{"Expect:"};
      for (const auto& [name, value] : signature.at("headers").items()) {
        headers.push_back(name + ": " + value.get<std::string>());
      }
      std::ifstream input(file.sourceURL, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
      if (perform("PUT", signature.at("url").get<std::string>(), bytes, headers) / 100 != 2) {
        throw std::runtime_error("libcurl reference: storage refused a file");
      }
      api("PUT", path + "/complete", "{}");
    }
    const auto completion = api("PUT", "/api/v1/transfers/" + transferId + "/complete", "{}");
    if (!completion.at("completed").get<bool>()) throw std::runtime_error("libcurl reference: transfer not completed");
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

 private:
  static size_t collect(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
  }
  static size_t supply(char* buffer, size_t size, size_t count, void* self) {
    auto& reference = *static_cast<LibcurlReference*>(self);
    const std::size_t length = std::min(size * count, reference.body_.size() - reference.sent_);
    std::memcpy(buffer, reference.body_.data() + reference.sent_, length);
    reference.sent_ += length;
    return length;
  }
  static int seek(void* self, curl_off_t offset, int origin) {
    auto& reference = *static_cast<LibcurlReference*>(self);
    if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > reference.body_.size()) {
      return CURL_SEEKFUNC_CANTSEEK;
    }
    reference.sent_ = static_cast<std::size_t>(offset);
    return CURL_SEEKFUNC_OK;
  }

  long perform(const std::string& method, const std::string& url, std::string body,
               const std::vector<std::string>& headers) {
    curl_slist* list = nullptr;
    for (const auto& header : headers) list = curl_slist_append(list, header.c_str());
    body_ = std::move(body);
    sent_ = 0;
    answer_.clear();
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(body_.size()));
    curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method == "PUT" ? nullptr : method.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, list);
    const CURLcode result = curl_easy_perform(easy_);
    curl_slist_free_all(list);
    if (result != CURLE_OK) throw std::runtime_error(std::string("libcurl reference: ") + curl_easy_strerror(result));
    long status = 0;
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
    return status;
  }

  nlohmann::json api(const std::string& method, const std::string& path, std::string body) {
    const long status = perform(method, base_ + path, std::move(body),
                                {"Expect:", "Authorization: Bearer " + token_, "Accept: application/json",
                                 "Cache-Control: no-cache", "Content-Type: application/json"});
    if (status / 100 != 2) {
      throw std::runtime_error("libcurl reference: " + path + " answered " + std::to_string(status));
    }
    return nlohmann::json::parse(answer_);
  }

  std::string base_;
  std::string authority_;
  std::string token_;
  CURL* easy_;
  std::string body_;
  std::size_t sent_ = 0;
  std::string answer_;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int smallFilesAgainstRunningService(const Options& options) {
  const auto url = platform::Url::parse(options.service);
  if (!url) throw std::invalid_argument("--service is not an address: " + options.service);
  platform::CurlTransportOptions transportOptions;
  transportOptions.certificateAuthorityFile = options.certificateAuthority;
  // As in the program: a change of network the desktop reports closes the kept connections.
  transportOptions.networkMonitor = platform::GioNetworkMonitor::shared();
  // As in the program: one session for the service's API, one for storage.
  const auto apiSession = std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, transportOptions);
  const auto uploadSession = std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, transportOptions);
  const auto tokens = std::make_shared<testing::ScriptedAccessTokenProvider>(std::vector<std::string>{options.token});
  const auto api = std::make_shared<TavrelAPIClient>(*url, tokens, apiSession);
  platform::ManualMainQueue queue;
  NativeUploadEngine engine(api, std::make_shared<SystemTransferClock>(), uploadSession,
                            UploadSecurityPolicy::defaultPolicy(), queue);
  LibcurlReference reference(options.service, options.certificateAuthority, options.token);

  const bool ownFolder = options.folder.empty();
  const auto root = ownFolder ? std::filesystem::temp_directory_path() /
                                    ("tavrel-bench-small-" + std::to_string(::getpid()))
                              : options.folder;
  struct RemoveOnExit {
    std::filesystem::path path;
    ~RemoveOnExit() {
      std::error_code ignored;
      if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
  } made{ownFolder ? root : std::filesystem::path()};

  std::map<std::size_t, double> engineSeconds;
  for (const std::size_t count : options.smallFiles) {
    std::vector<std::filesystem::path> files;
    if (ownFolder) {
      files = makeSmallFiles(root / std::to_string(count), count);
    } else {
      for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    }
    for (const auto& file : files) bench::warmPageCache(file);
    std::vector<double> engineRates, referenceRates, engineTimes;
    for (int run = 1; run <= options.runs; ++run) {
      const double n = static_cast<double>(files.size());
      double engineTime = 0;
      double referenceTime = 0;
      if (options.runEngine) {
        std::printf("sending %zu files: engine, run %d\n", files.size(), run);
        std::fflush(stdout);
        std::optional<UploadOutcome> outcome;
        const auto transfer = transferOfFiles(files);
        const auto start = Clock::now();
        engine.upload({transfer}, {}, [](const UploadEvent&) {}, [&](UploadOutcome result) { outcome = result; });
        if (!queue.runUntil([&] { return outcome.has_value(); }, std::chrono::hours(1))) {
          throw std::runtime_error("the upload did not end within an hour");
        }
        engineTime = std::chrono::duration<double>(Clock::now() - start).count();
        if (!std::holds_alternative<upload_outcome::Finished>(*outcome)) {
          throw std::runtime_error("engine upload " + describe(*outcome));
        }
        engineRates.push_back(n / engineTime);
        engineTimes.push_back(engineTime);
      }
      if (options.runReference) {
        std::printf("sending %zu files: libcurl, run %d\n", files.size(), run);
        std::fflush(stdout);
        referenceTime = reference.send(transferOfFiles(files));
        referenceRates.push_back(n / referenceTime);
      }
      if (options.runEngine && options.runReference) {
        std::printf("engine alone, small files, run %d: %.1f files/s (%.3f s for %zu)   libcurl %.1f files/s (%.3f s)   "
                    "ratio %.2f\n",
                    run, engineRates.back(), engineTime, files.size(), referenceRates.back(), referenceTime,
                    engineRates.back() / referenceRates.back());
      } else if (options.runEngine) {
        std::printf("engine alone, small files, run %d: %.1f files/s (%.3f s for %zu)\n", run, engineRates.back(),
                    engineTime, files.size());
      } else {
        std::printf("libcurl alone, small files, run %d: %.1f files/s (%.3f s for %zu)\n", run,
                    referenceRates.back(), referenceTime, files.size());
      }
      std::fflush(stdout);
    }
    if (!options.runEngine || !options.runReference) continue;
    const double engineMedian = median(engineRates);
    const double referenceMedian = median(referenceRates);
    std::printf("%zu files of %llu KiB, median of %d runs taking turns: engine %.1f files/s, libcurl %.1f files/s, "
                "ratio %.2f (target at least 1)\n",
                files.size(), static_cast<unsigned long long>(smallFileSize / 1024), options.runs, engineMedian,
                referenceMedian, engineMedian / referenceMedian);
    engineSeconds[files.size()] = median(engineTimes);
  }
  if (engineSeconds.size() >= 2) {
    const auto& [fewest, fewestTime] = *engineSeconds.begin();
    const auto& [most, mostTime] = *engineSeconds.rbegin();
    std::printf("engine: %zu files took %.2f× the time of %zu (%.0f× the files; linear keeps these equal)\n", most,
                mostTime / fewestTime, fewest, static_cast<double>(most) / static_cast<double>(fewest));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = parse(argc, argv);
    const std::uint64_t size = options.sizeMiB * 1024 * 1024;
    const std::int64_t partSize = static_cast<std::int64_t>(options.partMiB) * 1024 * 1024;
    if (!options.service.empty() && !options.smallFiles.empty()) return smallFilesAgainstRunningService(options);
    if (!options.service.empty() && !options.file.empty()) return againstRunningService(options, options.file);
    const auto file =
        std::filesystem::temp_directory_path() / ("tavrel-bench-engine-" + std::to_string(::getpid()) + ".bin");
    struct RemoveOnExit {
      std::filesystem::path path;
      ~RemoveOnExit() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
      }
    } made{file};
    bench::writeRandomFile(file, size);
    bench::warmPageCache(file);
    const auto partCount = static_cast<std::size_t>((static_cast<std::int64_t>(size) + partSize - 1) / partSize);
    std::printf("%llu MiB of random bytes, %llu MiB parts (%zu), local HTTPS stand-in hashing what it receives\n",
                static_cast<unsigned long long>(options.sizeMiB), static_cast<unsigned long long>(options.partMiB),
                partCount);

    // 1. Throughput and memory beside the curl tool.
    {
      Bench bench(std::make_shared<SystemTransferClock>());
      bench.service.setMultipartThreshold(1);
      bench.service.setPartSize(partSize);
      double bestEngine = 0;
      double bestTool = 0;
      std::uint64_t worstPeakAboveBase = 0;
      for (int run = 1; run <= options.runs; ++run) {
        const auto transfer = transferOf(file);
        const double tool = curlToolUpload(bench.service, file, size, run);
        const auto base = bench::processStatusBytes("VmRSS");
        resetPeakResident();
        const auto start = Clock::now();
        const auto outcome = bench.run(false, transfer);
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const auto peak = bench::processStatusBytes("VmHWM");
        if (!std::holds_alternative<upload_outcome::Finished>(outcome)) {
          throw std::runtime_error("engine upload " + describe(outcome));
        }
        const auto transferId = bench.service.transfers().back().transferId;
        if (!bench.service.storageHolds(transferId, transfer.files[0].referenceID, file)) {
          throw std::runtime_error("storage does not hold the file's bytes");
        }
        const double engine = static_cast<double>(size) / MiB / elapsed;
        const auto aboveBase = peak > base ? peak - base : 0;
        std::printf("run %d: engine %8.1f MiB/s   curl tool %8.1f MiB/s   ratio %.2f   peak RSS %.0f MiB (%.0f above "
                    "the %.0f MiB before the run)\n",
                    run, engine, tool, engine / tool, peak / MiB, aboveBase / MiB, base / MiB);
        bestEngine = std::max(bestEngine, engine);
        bestTool = std::max(bestTool, tool);
        worstPeakAboveBase = std::max(worstPeakAboveBase, aboveBase);
      }
      std::printf("best:  engine %8.1f MiB/s   curl tool %8.1f MiB/s   ratio %.2f (target 0.80)\n", bestEngine, bestTool,
                  bestEngine / bestTool);
      std::printf("memory: at most %.0f MiB above the process's size before the run; budget two parts + 64 MiB = "
                  "%.0f MiB\n",
                  worstPeakAboveBase / MiB, (2.0 * static_cast<double>(partSize) + 64 * MiB) / MiB);
    }

    // 2. Faults: every third storage PUT answers 503, one connection drops mid-part, one 401.
    {
      Bench bench(std::make_shared<ShortPauseClock>());
      bench.service.setMultipartThreshold(1);
      bench.service.setPartSize(partSize);
      bench.service.failEveryNthStoragePut(3, 503);
      bench.service.addFault(Endpoint::storagePut, 5, Fault::dropMidUpload());
      bench.service.addFault(Endpoint::sign, 4, Fault::answer(401));
      const auto transfer = transferOf(file);
      const auto outcome = bench.run(false, transfer);
      const auto transferId = bench.service.transfers().back().transferId;
      const bool holds = bench.service.storageHolds(transferId, transfer.files[0].referenceID, file);
      std::printf("faults: %s; %zu storage PUTs for %zu parts, %zu token renewal(s); storage holds exactly the "
                  "file: %s\n",
                  describe(outcome).c_str(), bench.service.requestCount(Endpoint::storagePut), partCount,
                  bench.tokens->rejectedTokens().size(), holds ? "yes" : "NO");
      if (!holds || !std::holds_alternative<upload_outcome::Finished>(outcome)) return 1;
    }

    // 3. Cancel once a third of the parts are stored, then resume.
    {
      Bench bench(std::make_shared<SystemTransferClock>());
      bench.service.setMultipartThreshold(1);
      bench.service.setPartSize(partSize);
      const auto transfer = transferOf(file);
      std::stop_source stop;
      const std::size_t cancelAfter = std::max<std::size_t>(partCount / 3, 1);
      const auto cancelled = bench.run(false, transfer, stop.get_token(), [&] {
        while (true) {
          const auto transfers = bench.service.transfers();
          if (!transfers.empty() && !transfers.back().files.empty() &&
              transfers.back().files[0].parts.size() >= cancelAfter) {
            break;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        stop.request_stop();
      });
      const auto transferId = bench.service.transfers().back().transferId;
      const auto putsBefore = bench.service.requestCount(Endpoint::storagePut);
      const auto signsBefore = bench.service.requestCount(Endpoint::sign);
      std::set<std::string> heldParts;
      const auto stored = bench.service.transfer(transferId);
      for (const auto& [number, part] : stored->files[0].parts) {
        heldParts.insert(std::to_string(number));
      }
      const auto resumed = bench.run(true, transfer);
      // Which parts the resumed run sent, from the storage addresses it used.
      const auto puts = bench.service.requests(Endpoint::storagePut);
      std::set<std::string> resent;
      for (std::size_t i = putsBefore; i < puts.size(); ++i) {
        resent.insert(puts[i].path.substr(puts[i].path.rfind('/') + 1));
      }
      std::size_t overlap = 0;
      for (const auto& part : resent) overlap += heldParts.count(part);
      const bool holds = bench.service.storageHolds(transferId, transfer.files[0].referenceID, file);
      // A PUT the cancelled run had under way may reach storage's records late; the signatures count
      // what the resumed run itself sent.
      const auto signs = bench.service.requestCount(Endpoint::sign) - signsBefore;
      std::printf("cancel then resume: first run %s with %zu of %zu parts stored; resume %s, sending %zu parts "
                  "(%zu signed PUTs), %zu of them already stored; storage holds exactly the file: %s\n",
                  describe(cancelled).c_str(), heldParts.size(), partCount, describe(resumed).c_str(), resent.size(),
                  signs, overlap, holds ? "yes" : "NO");
      if (!holds || overlap != 0 || heldParts.size() + resent.size() != partCount || signs != resent.size()) return 1;
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tavrel_bench_engine: %s\n", error.what());
    return 2;
  }
}
