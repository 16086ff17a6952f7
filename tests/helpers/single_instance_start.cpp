// One start of a program on the single-instance channel, for the tests that start several at once.
//
//   single_instance_start <socket> <message> <ready fd> <go fd>
//
// Writes one byte to <ready fd>, waits for one byte on <go fd>, then claims the channel with
// <message>. Exits 0 when the message was handed over; as the running program it serves the channel
// and exits 3 once one message has arrived, 4 when none came within ten seconds; 2 on a failure.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>

#include "platform/manual_main_queue.h"
#include "platform/single_instance.h"

int main(int argc, char** argv) {
  using namespace tavrel::platform;
  if (argc != 5) return 2;
  const int ready = std::atoi(argv[3]);
  const int go = std::atoi(argv[4]);
  char byte = 0;
  if (::write(ready, "r", 1) != 1 || ::read(go, &byte, 1) != 1) return 2;

  auto claim = claimSingleInstance(argv[1], argv[2]);
  if (!claim) {
    std::fprintf(stderr, "%s\n", claim.error().message.c_str());
    return 2;
  }
  if (std::holds_alternative<HandedOver>(*claim)) return 0;

  auto queue = std::make_shared<ManualMainQueue>();
  bool received = false;
  auto server = SingleInstanceServer::start(std::get<SingleInstanceSocket>(std::move(*claim)), queue,
                                            [&](const std::string&) { received = true; });
  if (!server) return 2;
  return queue->runUntil([&] { return received; }, std::chrono::seconds(10)) ? 3 : 4;
}
