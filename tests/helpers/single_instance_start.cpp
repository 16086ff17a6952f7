// A process that starts again and again on the single-instance channel, for the tests that race
// two such processes.
//
//   single_instance_start <socket> <rounds> <ready fd> <go fd> <outcome fd> [quit-unserved]
//
// Each round: writes "r" to <ready fd>, waits for one byte on <go fd>, claims the channel, then
// writes the round's outcome to <outcome fd>: "h" when its message was handed over; as the running
// program it serves the channel until one message arrives ("i"; "t" when none came within ten
// seconds) and then lets the channel go; "f" when the claim failed. One process stands for many
// starts because a process start costs far more than a round under the sanitizers.
//
// With "quit-unserved", the running program writes "s" once it serves, and quits ("q") as soon as a
// message waits for its main thread, before running it.
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>

#include "platform/manual_main_queue.h"
#include "platform/single_instance.h"

namespace {

using namespace tavrel::platform;

char claimOnce(const char* socketPath, bool quitUnserved, int outcomes) {
  auto claim = claimSingleInstance(socketPath, "activate");
  if (!claim) {
    std::fprintf(stderr, "%s\n", claim.error().message.c_str());
    return 'f';
  }
  if (std::holds_alternative<HandedOver>(*claim)) return 'h';
  auto queue = std::make_shared<ManualMainQueue>();
  bool received = false;
  auto server = SingleInstanceServer::start(std::get<SingleInstanceSocket>(std::move(*claim)), queue,
                                            [&](const std::string&) { received = true; });
  if (!server) return 'f';
  if (quitUnserved) {
    if (::write(outcomes, "s", 1) != 1) return 'f';
    for (int tries = 0; tries < 1000 && !queue->hasPendingTasks(); ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return queue->hasPendingTasks() ? 'q' : 't';  // the server goes first, the queue with its message after
  }
  return queue->runUntil([&] { return received; }, std::chrono::seconds(10)) ? 'i' : 't';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) return 2;
  const bool quitUnserved = argc == 7 && std::strcmp(argv[6], "quit-unserved") == 0;
  const int rounds = std::atoi(argv[2]);
  const int ready = std::atoi(argv[3]);
  const int go = std::atoi(argv[4]);
  const int outcomes = std::atoi(argv[5]);
  for (int round = 0; round < rounds; ++round) {
    char byte = 0;
    if (::write(ready, "r", 1) != 1 || ::read(go, &byte, 1) != 1) return 2;
    const char outcome = claimOnce(argv[1], quitUnserved, outcomes);
    if (::write(outcomes, &outcome, 1) != 1) return 2;
  }
  return 0;
}
