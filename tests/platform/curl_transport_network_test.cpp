// The transport when the network goes away under it: a change the desktop reports, a connection that
// goes silent with nobody telling, and a server that is only slow.

#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/curl_transport.h"
#include "platform/gio_network_monitor.h"
#include "support/https_test_server.h"

namespace tavrel::platform {
namespace {

using testing::Fault;
using testing::HttpsTestServer;
using testing::RecordedRequest;
using testing::StandInResponse;
using namespace std::chrono_literals;

constexpr auto kWait = 30s;

// Seconds where the program waits many: a dead connection is given up after about two.
constexpr DeadConnectionTimes kQuickTimes{1s, 1s, 1, 1000ms};

class FakeNetworkMonitor final : public NetworkMonitor {
 public:
  void change() { reportChange(); }
};

bool sameOriginOnly(const Url& from, const Url& to) { return from.origin() == to.origin(); }

CurlTransport makeTransport(std::shared_ptr<NetworkMonitor> monitor = {}) {
  return CurlTransport(sameOriginOnly, CurlTransportOptions{testing::testCertificateAuthorityFile(), 10,
                                                            kQuickTimes, std::move(monitor)});
}

HttpRequest get(Url url, std::chrono::milliseconds idleTimeout = kWait) {
  HttpRequest result;
  result.url = std::move(url);
  result.idleTimeout = idleTimeout;
  return result;
}

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Runs `body` on a thread of its own in a network namespace of its own with its loopback up: the
// servers, connections and packet filters it makes are seen by nothing else. Gives the reason when
// that cannot be had (it takes root and the ip and iptables tools).
std::optional<std::string> inOwnNetwork(const std::function<void()>& body) {
  std::optional<std::string> refused;
  std::thread([&] {
    if (::unshare(CLONE_NEWNET) != 0) {
      refused = std::string("no network namespace of our own (it takes root): ") + std::strerror(errno);
    } else if (!run("ip link set lo up") || !run("iptables -w -L INPUT -n")) {
      refused = "the ip and iptables tools are missing or refused";
    } else {
      body();
    }
  }).join();
  return refused;
}

TEST(CurlTransportNetworkTest, ANetworkChangeClosesKeptConnectionsAndEndsRequestsStillWaiting) {
  HttpsTestServer server;
  server.addFault("GET", "/waits", 0, Fault::stall());
  const auto monitor = std::make_shared<FakeNetworkMonitor>();
  auto transport = makeTransport(monitor);
  ASSERT_TRUE(transport.send(get(server.url("/before"))));

  std::optional<Expected<HttpResponse, TransportError>> waiting;
  std::thread sender([&] { waiting = transport.send(get(server.url("/waits"))); });
  ASSERT_TRUE(server.waitForRequestsStarted(2, kWait));
  monitor->change();
  sender.join();
  ASSERT_FALSE(*waiting);
  EXPECT_EQ(waiting->error().code, TransportErrorCode::networkChanged) << waiting->error().message;

  // The next request goes out on a new connection, and is not cut by the change it came after.
  ASSERT_TRUE(transport.send(get(server.url("/after"))));
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[1].remotePort, received[0].remotePort);
  EXPECT_NE(received[2].remotePort, received[0].remotePort);
}

TEST(CurlTransportNetworkTest, ChangesWhileManyThreadsSendEndOnlyRequestsWithoutAnAnswer) {
  HttpsTestServer server;
  const auto monitor = std::make_shared<FakeNetworkMonitor>();
  auto transport = makeTransport(monitor);
  std::atomic<bool> sending{true};
  std::thread changer([&] {
    while (sending) monitor->change();
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < 6; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < 15; ++i) {
        const auto result = transport.send(get(server.url("/n")));
        if (result) {
          EXPECT_EQ(result->status, 404);
        } else {
          EXPECT_EQ(result.error().code, TransportErrorCode::networkChanged) << result.error().message;
        }
      }
    });
  }
  for (auto& sender : senders) sender.join();
  sending = false;
  changer.join();
  // Quiet again, the transport works as before.
  EXPECT_TRUE(transport.send(get(server.url("/n"))));
}

TEST(CurlTransportNetworkTest, ASlowAnswerOnALiveConnectionOutlastsTheDeadConnectionTimes) {
  HttpsTestServer server;
  server.route("GET", "/slow", [](const RecordedRequest&) {
    // Longer than a silent connection is kept (a probe, then the user timeout): only the probes'
    // answers keep this one.
    std::this_thread::sleep_for(kQuickTimes.keepaliveIdle + kQuickTimes.keepaliveInterval + 500ms);
    return StandInResponse::json("{\"late\":true}");
  });
  auto transport = makeTransport();
  const auto answer = transport.send(get(server.url("/slow")));
  ASSERT_TRUE(answer) << answer.error().message;
  EXPECT_EQ(answer->body, "{\"late\":true}");
}

TEST(CurlTransportNetworkTest, ASilentConnectionIsFoundDeadAndTheRequestGoesOutOnANewOne) {
  std::atomic<int> silencedPort{0};
  const auto refused = inOwnNetwork([&] {
    HttpsTestServer server;
    server.route("GET", "/answer", [&](const RecordedRequest& received) {
      // The first answer goes nowhere: from now on, nothing passes on this connection either way.
      int none = 0;
      if (silencedPort.compare_exchange_strong(none, received.remotePort)) {
        const std::string port = std::to_string(received.remotePort);
        EXPECT_TRUE(run("iptables -w -I INPUT -p tcp --sport " + port + " -j DROP"));
        EXPECT_TRUE(run("iptables -w -I INPUT -p tcp --dport " + port + " -j DROP"));
      }
      return StandInResponse::json("{}");
    });
    auto transport = makeTransport();
    ASSERT_TRUE(transport.send(get(server.url("/before"))));

    // Well before the idle timeout, the kept connection the request went out on counts as dead and
    // the request is sent again on a new one.
    const auto answer = transport.send(get(server.url("/answer"), kWait));
    ASSERT_TRUE(answer) << answer.error().message;
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1].remotePort, received[0].remotePort);
    EXPECT_EQ(received[1].remotePort, silencedPort.load());
    EXPECT_NE(received[2].remotePort, received[1].remotePort);
  });
  if (refused) GTEST_SKIP() << *refused;
}

TEST(GioNetworkMonitorTest, ARouteAddedInTheNamespaceIsAChange) {
  const auto refused = inOwnNetwork([] {
    std::mutex mutex;
    std::condition_variable changed;
    int changes = 0;
    const auto monitor = GioNetworkMonitor::shared();
    const auto observation = monitor->observeChanges([&] {
      std::lock_guard lock(mutex);
      ++changes;
      changed.notify_all();
    });
    ASSERT_TRUE(run("ip route add 10.77.0.0/16 dev lo"));
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, kWait, [&] { return changes > 0; }));
  });
  if (refused) GTEST_SKIP() << *refused;
}

}  // namespace
}  // namespace tavrel::platform
