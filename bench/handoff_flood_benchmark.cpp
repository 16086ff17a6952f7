// Floods the share hand-off folder with requests at the 2 MiB limit and measures what the program's
// main thread pays for them. The hand-off coordinator runs on the real transfer and authentication
// stores (engine and preparer faked), signed in, with this thread as its main thread. Printed:
//   - reading and decoding every request on this thread, one after the other: what the main thread
//     would spend if it decoded them itself, in all and for the slowest one;
//   - the coordinator answering them all: the time until the last answer, and the longest the main
//     thread was busy at a stretch (the longest gap between two of its turns; an idle wait counts up
//     to 5 ms).
//
//   tavrel_bench_handoff [request-count] [nested|items]
//
// "nested" (the default) fills each request with arrays nested as deep as 2 MiB allows, which the
// decoder refuses after reading it all; "items" writes valid requests of 100 items whose bookmarks
// of random bytes name nothing, so each is read, decoded and its items checked, then refused.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "account/authentication_store.h"
#include "platform/logger.h"
#include "platform/manual_main_queue.h"
#include "sharehandoff/share_handoff_coordinator.h"
#include "sharehandoff/share_handoff_storage.h"
#include "sharehandoff/share_handoff_test_support.h"
#include "support/fake_transfer_services.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/temporary_directory.h"

namespace {

using namespace tavrel;
using namespace tavrel::testing;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

void writeNested(const ShareHandoffStorage& storage) {
  const auto limit = static_cast<std::size_t>(ShareHandoffStorage::maximumFileSize);
  const std::string head = "{\"schemaVersion\":1,\"padding\":";
  const std::size_t depth = (limit - head.size() - 1) / 2;
  std::string body = head;
  body.append(depth, '[');
  body.append(depth, ']');
  body += '}';
  std::ofstream(storage.requestFile(platform::Uuid::generate()), std::ios::binary) << body;
}

void writeItems(const ShareHandoffStorage& storage, std::mt19937& random) {
  // 100 bookmarks of 15,000 bytes: about 2 MB once encoded, under the limit.
  ShareHandoffRequest request{1, platform::Uuid::generate(), handoffDate, {}};
  std::uniform_int_distribution<int> byte(0, 255);
  for (int index = 0; index < 100; ++index) {
    std::vector<std::uint8_t> bookmark(15'000);
    for (auto& value : bookmark) value = static_cast<std::uint8_t>(byte(random));
    request.items.push_back({std::move(bookmark), "item " + std::to_string(index) + ".bin",
                             ShareHandoffItemKind::file, std::nullopt});
  }
  if (!storage.write(request)) {
    std::fprintf(stderr, "could not write a request of 100 items\n");
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  const std::string kind = argc > 2 ? argv[2] : "nested";
  if (kind != "nested" && kind != "items") {
    std::fprintf(stderr, "usage: tavrel_bench_handoff [request-count] [nested|items]\n");
    return 2;
  }

  // Each refusal is logged; a flood's worth would bury the figures.
  platform::Logger::setSink([](platform::LogLevel, std::string_view) {});

  TemporaryDirectory directory;
  ShareHandoffStorage storage{directory.path() / "container"};
  if (!storage.ensurePendingDirectory()) {
    std::fprintf(stderr, "could not create the hand-off folder\n");
    return 1;
  }
  std::mt19937 random(7);
  for (int index = 0; index < count; ++index) {
    if (kind == "nested") writeNested(storage);
    else writeItems(storage, random);
  }

  // What decoding them on the main thread would cost.
  const auto listed = storage.pendingRequestFiles();
  if (!listed || static_cast<int>(listed->size()) != count) {
    std::fprintf(stderr, "the hand-off folder does not list the requests written\n");
    return 1;
  }
  double slowestRead = 0;
  const auto readStart = Clock::now();
  for (const auto& file : *listed) {
    const auto start = Clock::now();
    (void)storage.readPendingRequest(file);
    slowestRead = std::max(slowestRead, Milliseconds(Clock::now() - start).count());
  }
  const double allReads = Milliseconds(Clock::now() - readStart).count();

  // The coordinator, signed in, answering them all.
  auto queue = std::make_shared<platform::ManualMainQueue>();
  auto api = std::make_shared<FakeAuthenticationAPI>();
  auto keychain = std::make_shared<InMemoryRefreshTokenStore>();
  const OAuthConfiguration configuration{*platform::Url::parse("https://app.example.com")};
  auto authentication = AuthenticationStore::make(configuration, api, keychain, std::make_shared<NoBrowser>(), queue,
                                                  [] { return std::chrono::system_clock::now(); });
  (void)keychain->save("refresh");
  authentication->restore();
  if (!queue->runUntil(
          [&] { return std::holds_alternative<authentication_state::Authenticated>(authentication->state()); })) {
    std::fprintf(stderr, "the stand-in sign-in did not complete\n");
    return 1;
  }
  auto registry = std::make_shared<ShareSourceAccessRegistry>([](const std::filesystem::path&) {});
  auto preparer = std::make_shared<FakeTransferFilePreparer>(*queue);
  auto engine = std::make_shared<FakeUploadEngine>(*queue);
  auto transferStore = handoffTransferStore(*queue, preparer, engine, std::make_shared<RecordingTransferNotifier>(),
                                            [&] { return authentication->canInitiateTransfer(); }, registry);
  InProcessShareHandoffSignal signal;

  double longestTurn = 0;
  auto lastTurn = Clock::now();
  const auto start = Clock::now();
  ShareHandoffCoordinator coordinator(
      {*queue, storage, *transferStore, authentication, registry, [] {}, &signal});
  const bool answered = queue->runUntil(
      [&] {
        const auto now = Clock::now();
        longestTurn = std::max(longestTurn, Milliseconds(now - lastTurn).count());
        lastTurn = now;
        return !coordinator.isScanning();
      },
      std::chrono::minutes(30));
  const double allAnswered = Milliseconds(Clock::now() - start).count();
  queue->runUntilIdle();
  const auto left = storage.pendingRequestFiles();
  const std::size_t unanswered = left ? left->size() : 0;

  std::printf("%d %s requests of up to 2 MiB\n", count, kind.c_str());
  std::printf("  read and decoded on one thread: %.0f ms in all, %.1f ms for the slowest\n", allReads, slowestRead);
  std::printf("  answered by the coordinator: %s in %.0f ms; the main thread's longest busy stretch %.1f ms\n",
              answered && unanswered == 0 ? "all" : "NOT all", allAnswered, longestTurn);
  return answered && unanswered == 0 ? 0 : 1;
}
