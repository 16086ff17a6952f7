// The whole upload engine (create, register, multipart two parts at a time, complete) against the
// local stand-in of the service, side by side with the curl command-line tool putting the same file
// in one request to the same storage sink; then the same transfer under injected faults, and a
// cancelled upload that is resumed.
//
//   tavrel_bench_engine [--size-mib N] [--part-mib N] [--runs N]
//   tavrel_bench_engine --service URL --ca FILE --token TOKEN [--size-mib N] [--runs N] [--file PATH]
//
// The file holds random bytes; storage hashes everything it receives and the run fails unless
// storage holds exactly the file's bytes. With --service, only the throughput is measured, against a
// running local service (tavrel-local-service) with an access token it issued, and the service
// decides the part size: the program benchmark uses this as the engine-alone reference.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "platform/curl_transport.h"
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

// Waits between attempts briefly: the faults run checks the outcome, not the pauses.
class ShortPauseClock final : public TransferClock {
 public:
  bool sleep(platform::Duration, std::stop_token stop) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !stop.stop_requested();
  }
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

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = parse(argc, argv);
    const std::uint64_t size = options.sizeMiB * 1024 * 1024;
    const std::int64_t partSize = static_cast<std::int64_t>(options.partMiB) * 1024 * 1024;
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
