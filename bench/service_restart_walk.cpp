// A transfer through the real transfer store, file preparer and upload engine against a running
// local service that its driver (bench/service_restart_walk.py) stops and starts again mid-way:
// what the automatic retries make of it, and what "Retry transfer" then sends again.
//
//   tavrel_bench_service_restart --service URL --ca FILE --token TOKEN PATH
//
// PATH (a folder or one file) is queued as a dropped item would be. Lines on standard output, one
// per event, for the driver: "progress P" (whole per cent, each time it grows), "failed MESSAGE",
// "retry" when the failure row's retry is sent, "link SLUG" at completion, and "sent ..." after
// each run with the storage requests it made (whole files and parts, each counted once however
// often it was tried, and the bytes of the requests that succeeded).

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/curl_transport.h"
#include "platform/event_loop.h"
#include "service/http_session.h"
#include "service/native_upload_engine.h"
#include "service/tavrel_api_client.h"
#include "support/stand_in_service.h"
#include "transfer/local_transfer_file_preparer.h"
#include "transfer/transfer_store.h"

namespace tavrel {
namespace {

// Storage requests as the engine makes them, counted by what they carry.
class CountingTransport final : public platform::HttpTransport {
 public:
  explicit CountingTransport(std::shared_ptr<platform::HttpTransport> inner) : inner_(std::move(inner)) {}

  platform::Expected<platform::HttpResponse, platform::TransportError> send(
      const platform::HttpRequest& request, std::stop_token stop, platform::UploadProgress progress) override {
    auto response = inner_->send(request, stop, std::move(progress));
    // The path without its one-time signature names the object or part.
    const std::string target = request.url.path();
    std::lock_guard lock(mutex_);
    ++attempts_;
    if (response && response->status >= 200 && response->status <= 299) {
      (target.find("/parts/") == std::string::npos ? wholeFiles_ : parts_).insert(target);
      if (const auto* bytes = std::get_if<std::string>(&request.body)) {
        storedBytes_ += bytes->size();
      } else if (const auto* range = std::get_if<platform::FileRange>(&request.body)) {
        storedBytes_ += range->length.value_or(0);
      }
    }
    return response;
  }

  // Prints what was sent since the last call and starts counting afresh.
  void report(const char* run) {
    std::lock_guard lock(mutex_);
    std::printf("sent %s: %zu whole files, %zu parts, %.1f MiB stored, %zu requests in all\n", run,
                wholeFiles_.size(), parts_.size(), static_cast<double>(storedBytes_) / (1024.0 * 1024.0),
                attempts_);
    std::fflush(stdout);
    wholeFiles_.clear();
    parts_.clear();
    storedBytes_ = 0;
    attempts_ = 0;
  }

 private:
  std::shared_ptr<platform::HttpTransport> inner_;
  std::mutex mutex_;
  std::set<std::string> wholeFiles_;
  std::set<std::string> parts_;
  std::uint64_t storedBytes_ = 0;
  std::size_t attempts_ = 0;
};

class NoPicker final : public TransferFilePicking {
 public:
  void pickItems(TransferFilePickerRequest, std::stop_token, Completion onPicked) override { onPicked(std::nullopt); }
};
class NoLinkOpener final : public ExternalLinkOpening {
 public:
  void open(const platform::Url&) override {}
};
class NoClipboard final : public ClipboardWriting {
 public:
  void write(const std::string&) override {}
};

struct Options {
  std::string service;
  std::string certificateAuthority;
  std::string token;
  std::filesystem::path path;
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(argument + " needs a value");
      return argv[++i];
    };
    if (argument == "--service") options.service = next();
    else if (argument == "--ca") options.certificateAuthority = next();
    else if (argument == "--token") options.token = next();
    else if (!argument.starts_with("--") && options.path.empty()) options.path = argument;
    else throw std::invalid_argument("unknown option: " + argument);
  }
  if (options.service.empty() || options.certificateAuthority.empty() || options.token.empty() ||
      options.path.empty()) {
    throw std::invalid_argument("usage: tavrel_bench_service_restart --service URL --ca FILE --token TOKEN PATH");
  }
  return options;
}

int walk(const Options& options) {
  const auto url = platform::Url::parse(options.service);
  if (!url) throw std::invalid_argument("--service is not an address: " + options.service);
  platform::CurlTransportOptions transportOptions;
  transportOptions.certificateAuthorityFile = options.certificateAuthority;
  const auto apiSession = std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, transportOptions);
  const auto storage = std::make_shared<CountingTransport>(
      std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, transportOptions));
  const auto tokens = std::make_shared<testing::ScriptedAccessTokenProvider>(
      std::vector<std::string>{options.token, options.token});
  const auto api = std::make_shared<TavrelAPIClient>(*url, tokens, apiSession);

  platform::EventLoop loop;
  const auto clock = std::make_shared<SystemTransferClock>();
  TransferStore::Services services{std::make_shared<LocalTransferFilePreparer>(loop),
                                   std::make_shared<NativeUploadEngine>(api, clock, storage,
                                                                        UploadSecurityPolicy::defaultPolicy(), loop),
                                   std::make_shared<NoPicker>(),
                                   std::make_shared<NoLinkOpener>(),
                                   std::make_shared<NoClipboard>(),
                                   std::make_shared<NoopTransferNotifier>(),
                                   ApplicationLinks{*url},
                                   clock};
  TransferStore::Closures closures;
  closures.canInitiateTransfer = [] { return true; };
  TransferStore store(loop, std::move(services), std::move(closures));

  int shown = -1;
  bool retried = false;
  int exitCode = 1;
  const char* run = "by the first run and its automatic retries";
  auto subscription = store.subscribe([&](const TransferFeatureState& state) {
    if (const auto* upload = activeUpload(state.phase)) {
      const int percent = static_cast<int>(upload->progress.progress * 100.0);
      if (percent > shown) {
        shown = percent;
        std::printf("progress %d\n", percent);
        std::fflush(stdout);
      }
      return;
    }
    if (const auto* completed = completedTransfer(state.phase)) {
      storage->report(run);
      std::printf("link %s\n", completed->downloadSlug.value_or("").c_str());
      std::fflush(stdout);
      exitCode = 0;
      loop.quit();
      return;
    }
    if (state.failures.empty()) return;
    const auto& failure = state.failures.back();
    std::printf("failed %s\n", failure.message.c_str());
    storage->report(run);
    if (retried) {
      loop.quit();
      return;
    }
    // What the user does next: the failure row's "Retry transfer", once.
    retried = true;
    run = "by the retry";
    shown = -1;
    std::printf("retry\n");
    std::fflush(stdout);
    const TransferItemID id = failure.id;
    loop.post([&store, id] { store.send(transfer_action::RetryTransfer{id}); });
  });
  loop.post([&] { store.send(transfer_action::EnqueueURLs{{options.path}, TransferStartPolicy::automatic}); });
  loop.run();
  return exitCode;
}

}  // namespace
}  // namespace tavrel

int main(int argc, char** argv) {
  try {
    return tavrel::walk(tavrel::parse(argc, argv));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tavrel_bench_service_restart: %s\n", error.what());
    return 2;
  }
}
