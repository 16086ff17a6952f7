// Holds every packet of a netfilter queue for a fixed time, then lets it go: a link with a round
// trip on a loopback, where the kernel has no delaying queue discipline of its own.
//
//   tavrel_bench_link_delay --hold-us N [--queue Q]
//
// Put packets in the queue on arrival (iptables -t mangle -A PREROUTING -i lo -j NFQUEUE --queue-num Q):
// held on the sender's side instead, TCP's small queues hold the sender's next segment back until the
// held one leaves, and a request written in two pieces costs one and a half round trips. On a
// loopback every packet arrives once, so a round trip is twice the hold. One hold for every packet
// keeps their order, so the held packets are a queue and each release is one batch verdict.
//
// Prints "holding" once bound (add the rule after that: a queue nobody reads drops what it gets),
// and on SIGINT or SIGTERM lets every held packet go and prints what it did.

// The C library's network headers before the kernel's, which then leave out what they repeat.
#include <arpa/inet.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Held {
  std::uint32_t id;
  Clock::time_point due;
};

struct Delayer {
  std::chrono::microseconds hold{0};
  std::deque<Held> held;
  std::size_t mostHeld = 0;
  std::uint64_t packets = 0;
  std::uint64_t overruns =
      0;  // the socket's buffer overflowed: the kernel dropped what it could not hand over
};

volatile std::sig_atomic_t stopping = 0;
void onStop(int) { stopping = 1; }

int onPacket(nfq_q_handle*, nfgenmsg*, nfq_data* data, void* context) {
  auto& delayer = *static_cast<Delayer*>(context);
  const nfqnl_msg_packet_hdr* header = nfq_get_msg_packet_hdr(data);
  if (header == nullptr) return 0;
  delayer.held.push_back({ntohl(header->packet_id), Clock::now() + delayer.hold});
  delayer.mostHeld = std::max(delayer.mostHeld, delayer.held.size());
  ++delayer.packets;
  return 0;
}

// Lets go of every packet due by `now` (all of them with `everything`) with one verdict.
void release(nfq_q_handle* queue, Delayer& delayer, Clock::time_point now, bool everything = false) {
  std::uint32_t last = 0;
  bool any = false;
  while (!delayer.held.empty() && (everything || delayer.held.front().due <= now)) {
    last = delayer.held.front().id;
    any = true;
    delayer.held.pop_front();
  }
  if (any && nfq_set_verdict_batch(queue, last, NF_ACCEPT) < 0) {
    std::fprintf(stderr, "tavrel_bench_link_delay: verdict failed: %s\n", std::strerror(errno));
  }
}

long argument(int argc, char** argv, const char* name, long fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const long holdMicroseconds = argument(argc, argv, "--hold-us", -1);
  const long queueNumber = argument(argc, argv, "--queue", 0);
  if (holdMicroseconds < 0 || queueNumber < 0 || queueNumber > 65535) {
    std::fprintf(stderr, "usage: tavrel_bench_link_delay --hold-us N [--queue Q]\n");
    return 2;
  }
  Delayer delayer;
  delayer.hold = std::chrono::microseconds(holdMicroseconds);

  nfq_handle* handle = nfq_open();
  if (handle == nullptr) {
    std::fprintf(stderr, "tavrel_bench_link_delay: cannot open netfilter queues (root?): %s\n",
                 std::strerror(errno));
    return 1;
  }
  nfq_q_handle* queue =
      nfq_create_queue(handle, static_cast<std::uint16_t>(queueNumber), &onPacket, &delayer);
  if (queue == nullptr) {
    std::fprintf(stderr, "tavrel_bench_link_delay: cannot bind queue %ld: %s\n", queueNumber,
                 std::strerror(errno));
    nfq_close(handle);
    return 1;
  }
  // Only the packet's number comes up: its bytes stay in the kernel.
  nfq_set_mode(queue, NFQNL_COPY_META, 0);
  // A 200 Mbit/s link at a 100 ms round trip holds some 2,000 segments and their acknowledgements.
  nfq_set_queue_maxlen(queue, 1 << 16);
  const int fd = nfq_fd(handle);
  nfnl_rcvbufsiz(nfq_nfnlh(handle), 64u << 20);
  const int on = 1;
  setsockopt(fd, SOL_NETLINK, NETLINK_NO_ENOBUFS, &on, sizeof on);

  struct sigaction action {};
  action.sa_handler = onStop;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigset_t blocked, waiting;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigprocmask(SIG_BLOCK, &blocked, &waiting);
  sigdelset(&waiting, SIGINT);
  sigdelset(&waiting, SIGTERM);

  // Released late by a busy machine, a packet would add its wait to the round trip: a real-time
  // priority keeps the hold within some 0.1 ms of what was asked while builds run beside it.
  sched_param priority{};
  priority.sched_priority = 10;
  if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0) {
    std::fprintf(
        stderr, "tavrel_bench_link_delay: no real-time priority (%s): holds may run long on a busy machine\n",
        std::strerror(errno));
  }

  std::printf("holding every packet of queue %ld for %ld us\n", queueNumber, holdMicroseconds);
  std::fflush(stdout);

  std::vector<char> buffer(1 << 16);
  while (!stopping) {
    const auto now = Clock::now();
    release(queue, delayer, now);
    timespec timeout{};
    timespec* wait = nullptr;
    if (!delayer.held.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(delayer.held.front().due - now);
      timeout.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
      wait = &timeout;
    }
    pollfd readable{fd, POLLIN, 0};
    const int ready = ppoll(&readable, 1, wait, &waiting);
    if (ready < 0 && errno != EINTR) {
      std::fprintf(stderr, "tavrel_bench_link_delay: poll failed: %s\n", std::strerror(errno));
      break;
    }
    if (ready <= 0) continue;
    while (true) {
      const ssize_t length = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (length < 0) {
        if (errno == ENOBUFS) {
          ++delayer.overruns;
          continue;
        }
        break;
      }
      nfq_handle_packet(handle, buffer.data(), static_cast<int>(length));
    }
  }
  release(queue, delayer, Clock::now(), true);
  std::printf("held %llu packets, at most %zu at once; %llu buffer overruns\n",
              static_cast<unsigned long long>(delayer.packets), delayer.mostHeld,
              static_cast<unsigned long long>(delayer.overruns));
  nfq_destroy_queue(queue);
  nfq_close(handle);
  return 0;
}
