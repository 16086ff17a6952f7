#include "platform/curl_transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "support/https_test_server.h"
#include "support/temporary_directory.h"

namespace tavrel::platform {
namespace {

using testing::Fault;
using testing::HttpsTestServer;
using testing::RecordedRequest;
using testing::StandInResponse;
using namespace std::chrono_literals;

constexpr auto kWait = 30s;

bool sameOriginOnly(const Url& from, const Url& to) { return from.origin() == to.origin(); }

CurlTransport makeTransport(CurlTransport::RedirectDecider decider = sameOriginOnly) {
  return CurlTransport(std::move(decider), CurlTransportOptions{testing::testCertificateAuthorityFile(), 10});
}

HttpRequest request(std::string method, Url url, HttpBody body = std::monostate{}) {
  HttpRequest result;
  result.method = std::move(method);
  result.url = std::move(url);
  result.body = std::move(body);
  return result;
}

// A file of `size` bytes that is mostly a hole, with marker bytes at the start, the middle and the
// end so that a shifted or truncated upload hashes differently.
std::filesystem::path makeSparseFile(const testing::TemporaryDirectory& directory, std::uint64_t size) {
  const auto path = directory.path() / "large.bin";
  { std::ofstream create(path, std::ios::binary); }
  std::filesystem::resize_file(path, size);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  for (const std::uint64_t offset : {std::uint64_t{0}, size / 2 + 7, size - 5}) {
    file.seekp(static_cast<std::streamoff>(offset));
    file.write("mark!", 5);
  }
  return path;
}

std::uint64_t peakResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6));
  }
  return 0;
}

class CurlTransportTest : public ::testing::Test {
 protected:
  HttpsTestServer server;
  testing::TemporaryDirectory directory;
};

TEST_F(CurlTransportTest, SendsMethodsHeadersAndBodiesAndReadsTheAnswer) {
  server.route("*", "/echo/(\\w+)", [](const RecordedRequest& received) {
    StandInResponse answer = StandInResponse::json("{\"got\":\"" + received.body + "\"}", 201);
    answer.headers.push_back({"ETag", "\"abc\""});
    answer.headers.push_back({"X-Method", received.method + " " + received.pathMatches.at(0)});
    return answer;
  });
  auto transport = makeTransport();

  auto get = request("GET", server.url("/echo/one?x=a%20b"));
  get.headers = {{"Accept", "application/json"}};
  const auto got = transport.send(get);
  ASSERT_TRUE(got) << got.error().message;
  EXPECT_EQ(got->status, 201);
  EXPECT_EQ(got->body, "{\"got\":\"\"}");
  EXPECT_EQ(got->header("etag"), "\"abc\"");
  EXPECT_EQ(got->header("X-METHOD"), "GET one");
  EXPECT_EQ(got->header("Content-Type"), "application/json");
  EXPECT_FALSE(got->header("X-Missing"));
  EXPECT_EQ(got->url, server.url("/echo/one?x=a%20b"));

  auto post = request("POST", server.url("/echo/two"), std::string("a=1&b=2"));
  post.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
  EXPECT_EQ(transport.send(post)->body, "{\"got\":\"a=1&b=2\"}");
  EXPECT_EQ(transport.send(request("PUT", server.url("/echo/three"), std::string("put")))->header("X-Method"), "PUT three");
  EXPECT_EQ(transport.send(request("DELETE", server.url("/echo/four")))->header("X-Method"), "DELETE four");

  const auto received = server.requests();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0].query, "x=a%20b");
  EXPECT_EQ(received[0].header("Accept"), "application/json");
  EXPECT_FALSE(received[0].header("Expect"));
  EXPECT_EQ(received[1].header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(received[1].header("Content-Length"), "7");
  EXPECT_EQ(received[2].body, "put");
  EXPECT_EQ(received[3].bodySize, 0u);
}

// Requests after the first run on the handle the last one used: none may inherit its method, body
// or offered encoding.
TEST_F(CurlTransportTest, OffersGzipOnlyWhenAskedAndEachRequestStartsAfresh) {
  server.route("*", "/any", [](const RecordedRequest&) { return StandInResponse::json("{}"); });
  auto transport = makeTransport();
  auto put = request("PUT", server.url("/any"), std::string("body"));
  put.offersGzip = true;
  ASSERT_TRUE(transport.send(put));
  ASSERT_TRUE(transport.send(request("HEAD", server.url("/any"))));
  ASSERT_TRUE(transport.send(request("GET", server.url("/any"))));

  const auto received = server.requests();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].header("Accept-Encoding"), "gzip");
  EXPECT_EQ(received[1].method, "HEAD");
  EXPECT_FALSE(received[1].header("Accept-Encoding"));
  EXPECT_EQ(received[2].method, "GET");
  EXPECT_FALSE(received[2].header("Content-Length"));
  EXPECT_FALSE(received[2].header("Accept-Encoding"));
}

TEST_F(CurlTransportTest, PostWithoutBodySendsAnEmptyOne) {
  auto transport = makeTransport();
  ASSERT_TRUE(transport.send(request("POST", server.url("/sign"))));
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].header("Content-Length"), "0");
}

TEST_F(CurlTransportTest, StreamsABodyFromAFileRange) {
  const auto path = directory.writeFile("part.bin", "0123456789abcdefghij");
  auto transport = makeTransport();
  ASSERT_TRUE(transport.send(request("PUT", server.url("/part"), FileRange{path, 5, 10, {}})));
  ASSERT_TRUE(transport.send(request("PUT", server.url("/rest"), FileRange{path, 15, std::nullopt, {}})));
  ASSERT_TRUE(transport.send(request("PUT", server.url("/empty"), FileRange{path, 20, std::nullopt, {}})));
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].body, "56789abcde");
  EXPECT_EQ(received[1].body, "fghij");
  EXPECT_EQ(received[2].bodySize, 0u);
  EXPECT_EQ(received[2].header("Content-Length"), "0");
}

TEST_F(CurlTransportTest, AFileThatCannotCoverItsRangeFailsBeforeSending) {
  const auto path = directory.writeFile("short.bin", "12345");
  auto transport = makeTransport();
  for (const FileRange& range : {FileRange{path, 2, 4, {}}, FileRange{path, 6, std::nullopt, {}},
                                 FileRange{directory.path() / "missing", 0, std::nullopt, {}},
                                 FileRange{directory.path(), 0, std::nullopt, {}}}) {
    const auto result = transport.send(request("PUT", server.url("/part"), range));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, TransportErrorCode::fileUnreadable);
  }
  EXPECT_EQ(server.requestCount(), 0u);
}

FileIdentity identityOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) throw std::runtime_error("cannot look at the file");
  return FileIdentity::of(status);
}

// A body given with the file's identity is sent only from that file, unchanged: not through a link
// put in its place, not after an edit, and not when it was edited while it went out, even though the
// server took it.
TEST_F(CurlTransportTest, AFileBodyWithAnIdentityFailsAsChangedOnceItIsNoLongerThatFile) {
  auto transport = makeTransport();
  const auto path = directory.writeFile("body.bin", "original contents");
  const auto prepared = identityOf(path);
  const auto put = [&](const std::filesystem::path& from, const std::string& route) {
    return transport.send(request("PUT", server.url(route), FileRange{from, 0, std::nullopt, prepared}));
  };

  server.route("PUT", "/edited-while-sent", [&](const RecordedRequest&) {
    testing::editInPlace(path);
    return StandInResponse{};
  });
  ASSERT_TRUE(put(path, "/unchanged"));
  const auto editedWhileSent = put(path, "/edited-while-sent");
  ASSERT_FALSE(editedWhileSent);
  EXPECT_EQ(editedWhileSent.error().code, TransportErrorCode::fileChanged);
  EXPECT_EQ(server.requestCount(), 2u);

  const auto edited = put(path, "/edited");
  ASSERT_FALSE(edited);
  EXPECT_EQ(edited.error().code, TransportErrorCode::fileChanged);
  const auto link = directory.path() / "link.bin";
  std::filesystem::create_symlink(path, link);
  const auto throughLink = put(link, "/link");
  ASSERT_FALSE(throughLink);
  EXPECT_EQ(throughLink.error().code, TransportErrorCode::fileChanged);
  EXPECT_EQ(server.requestCount(), 2u) << "nothing is sent from a changed file";
}

TEST_F(CurlTransportTest, ReportsUploadProgressUpToTheWholeBody) {
  const auto path = directory.writeFile("body.bin", std::string(3 * 1024 * 1024, 'p'));
  auto transport = makeTransport();
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
  const auto result = transport.send(request("PUT", server.url("/up"), FileRange{path, 0, std::nullopt, {}}), {},
                                     [&](std::uint64_t sent, std::uint64_t total) { reports.emplace_back(sent, total); });
  ASSERT_TRUE(result);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{3 * 1024 * 1024}, std::uint64_t{3 * 1024 * 1024}));
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
}

TEST_F(CurlTransportTest, RefusesLineBreaksInHeadersWithoutSending) {
  auto transport = makeTransport();
  const std::vector<HttpHeader> bad = {{"X-Value", "a\r\nInjected: yes"}, {"X-Value", "a\nb"}, {"X-Value", "a\rb"},
                                       {"X-Value", std::string("a\0b", 3)}, {"X Name", "v"}, {"X-Name:", "v"},
                                       {"", "v"}, {"X\r\nA", "v"}};
  for (const HttpHeader& header : bad) {
    auto sent = request("GET", server.url("/x"));
    sent.headers = {header};
    const auto result = transport.send(sent);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, TransportErrorCode::invalidRequest);
  }
  const auto badMethod = transport.send(request("GET /x HTTP/1.1\r\n", server.url("/x")));
  EXPECT_EQ(badMethod.error().code, TransportErrorCode::invalidRequest);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(CurlTransportTest, RefusesSchemesOtherThanHttpAndHttps) {
  auto transport = makeTransport();
  for (const char* text : {"ftp://127.0.0.1/x", "file:///etc/passwd", "mailto:a@b"}) {
    const auto result = transport.send(request("GET", *Url::parse(text)));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, TransportErrorCode::invalidRequest) << text;
  }
}

TEST_F(CurlTransportTest, FollowsSameOriginRedirectsSendingTheBodyAgain) {
  const auto path = directory.writeFile("file.bin", "file body");
  server.route("*", "/old307", [](const RecordedRequest&) { return StandInResponse::redirect(307, "/new"); });
  server.route("*", "/old308", [&](const RecordedRequest&) {
    return StandInResponse::redirect(308, "https://127.0.0.1:" + std::to_string(server.port()) + "/new");
  });
  server.route("*", "/new", [](const RecordedRequest& received) {
    return StandInResponse::json(received.method + ":" + received.body);
  });
  auto transport = makeTransport();

  auto post = request("POST", server.url("/old307"), std::string("payload"));
  post.headers = {{"Authorization", "Bearer t"}};
  const auto first = transport.send(post);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(first->body, "POST:payload");
  EXPECT_EQ(first->url, server.url("/new"));

  const auto second = transport.send(request("PUT", server.url("/old308"), FileRange{path, 0, std::nullopt, {}}));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->body, "PUT:file body");

  const auto received = server.requests();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[1].header("Authorization"), "Bearer t");  // same origin: the credentials go along
  EXPECT_EQ(received[3].body, "file body");
}

TEST_F(CurlTransportTest, SeeOtherAndPostMovedBecomeGetWithoutBody) {
  server.route("*", "/see", [](const RecordedRequest&) { return StandInResponse::redirect(303, "/new"); });
  server.route("*", "/moved", [](const RecordedRequest&) { return StandInResponse::redirect(302, "/new"); });
  server.route("*", "/new", [](const RecordedRequest& received) {
    return StandInResponse::json(received.method + ":" + received.body);
  });
  auto transport = makeTransport();
  auto see = request("PUT", server.url("/see"), std::string("gone"));
  see.headers = {{"Content-Type", "text/plain"}};
  EXPECT_EQ(transport.send(see)->body, "GET:");
  EXPECT_EQ(transport.send(request("POST", server.url("/moved"), std::string("gone")))->body, "GET:");
  EXPECT_EQ(transport.send(request("PUT", server.url("/moved"), std::string("kept")))->body, "PUT:kept");
  EXPECT_FALSE(server.requests()[1].header("Content-Type"));
}

TEST_F(CurlTransportTest, RefusedRedirectsComeBackAsTheRedirectAnswer) {
  HttpsTestServer plain(HttpsTestServer::Scheme::http);
  server.route("*", "/to-other-host", [&](const RecordedRequest&) {
    return StandInResponse::redirect(307, server.localhostUrl("/new").toString());
  });
  server.route("*", "/to-http", [&](const RecordedRequest&) {
    return StandInResponse::redirect(302, plain.url("/new").toString());
  });
  auto transport = makeTransport();
  for (const char* path : {"/to-other-host", "/to-http"}) {
    const auto result = transport.send(request("POST", server.url(path), std::string("secret")));
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->url, server.url(path));
    EXPECT_TRUE(result->status == 307 || result->status == 302) << result->status;
    EXPECT_TRUE(result->header("Location"));
  }
  EXPECT_EQ(server.requestCount(), 2u);
  EXPECT_EQ(plain.requestCount(), 0u);

  // Without a decider nothing is followed, not even within the origin.
  server.route("*", "/same", [](const RecordedRequest&) { return StandInResponse::redirect(308, "/new"); });
  auto never = makeTransport({});
  EXPECT_EQ(never.send(request("GET", server.url("/same")))->status, 308);
}

TEST_F(CurlTransportTest, RedirectLoopsStopAtTheHopLimit) {
  server.route("*", "/loop", [](const RecordedRequest&) { return StandInResponse::redirect(307, "/loop"); });
  CurlTransport transport(sameOriginOnly, CurlTransportOptions{testing::testCertificateAuthorityFile(), 3});
  const auto result = transport.send(request("GET", server.url("/loop")));
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, TransportErrorCode::tooManyRedirects);
  EXPECT_EQ(server.requestCount(), 4u);
}

TEST_F(CurlTransportTest, KeepsNoCookies) {
  server.route("GET", "/set", [](const RecordedRequest&) {
    StandInResponse answer = StandInResponse::json("{}");
    answer.headers.push_back({"Set-Cookie", "session=abc; Path=/"});
    return answer;
  });
  auto transport = makeTransport();
  ASSERT_TRUE(transport.send(request("GET", server.url("/set"))));
  ASSERT_TRUE(transport.send(request("GET", server.url("/next"))));
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_FALSE(received[1].header("Cookie"));
}

TEST_F(CurlTransportTest, AStopBeforeSendingSendsNothing) {
  std::stop_source stop;
  stop.request_stop();
  auto transport = makeTransport();
  const auto result = transport.send(request("GET", server.url("/x")), stop.get_token());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, TransportErrorCode::cancelled);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(CurlTransportTest, CancellingAStalledUploadEndsItAsCancelled) {
  const auto path = makeSparseFile(directory, 256ull * 1024 * 1024);
  server.addFault("PUT", "/stall", 1, Fault::stall());
  auto transport = makeTransport();
  std::stop_source stop;
  std::thread canceller([&] {
    server.waitForRequestsStarted(1, kWait);
    stop.request_stop();
  });
  auto put = request("PUT", server.url("/stall"), FileRange{path, 0, std::nullopt, {}});
  put.idleTimeout = 10min;  // only the stop can end it
  const auto result = transport.send(put, stop.get_token());
  canceller.join();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, TransportErrorCode::cancelled);

  // The cut-off connection is not handed to the next request, which goes out on a new one.
  const auto next = transport.send(request("GET", server.url("/next")));
  ASSERT_TRUE(next) << next.error().message;
  EXPECT_EQ(next->status, 404);
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_NE(received[1].remotePort, received[0].remotePort);
}

TEST_F(CurlTransportTest, AStopWhileARedirectArrivesSendsNoFurtherHop) {
  std::stop_source stop;
  server.route("*", "/hop", [&](const RecordedRequest&) {
    stop.request_stop();
    return StandInResponse::redirect(307, "/next");
  });
  auto transport = makeTransport();
  const auto result = transport.send(request("PUT", server.url("/hop"), std::string("body")), stop.get_token());
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, TransportErrorCode::cancelled);
  // A hop sent anyway would arrive after send() returned; give it a moment to show up.
  EXPECT_FALSE(server.waitForRequestsStarted(2, 500ms));
}

TEST_F(CurlTransportTest, ReusesConnectionsButNeverSharesOneBetweenRequestsInFlight) {
  server.route("GET", "/hold", [&](const RecordedRequest&) {
    server.waitForRequestsStarted(2, kWait);  // both requests are in flight at once
    return StandInResponse::json("{}");
  });
  server.route("GET", "/hop", [](const RecordedRequest&) { return StandInResponse::redirect(302, "/next"); });
  auto transport = makeTransport();

  std::thread other([&] { EXPECT_TRUE(transport.send(request("GET", server.url("/hold")))); });
  EXPECT_TRUE(transport.send(request("GET", server.url("/hold"))));
  other.join();
  auto received = server.requests();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_NE(received[0].remotePort, received[1].remotePort);

  // One after another, requests and the hops of a redirect go over a connection already open.
  server.clearRequests();
  ASSERT_TRUE(transport.send(request("GET", server.url("/hop"))));
  ASSERT_TRUE(transport.send(request("GET", server.url("/again"))));
  received = server.requests();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[1].remotePort, received[0].remotePort);
  EXPECT_EQ(received[2].remotePort, received[0].remotePort);
}

TEST_F(CurlTransportTest, CancellingFromTheProgressCallbackEndsTheUploadMidway) {
  const auto path = makeSparseFile(directory, 256ull * 1024 * 1024);
  auto transport = makeTransport();
  std::stop_source stop;
  std::uint64_t lastSent = 0;
  const auto result = transport.send(request("PUT", server.url("/up"), FileRange{path, 0, std::nullopt, {}}),
                                     stop.get_token(), [&](std::uint64_t sent, std::uint64_t) {
                                       lastSent = sent;
                                       stop.request_stop();
                                     });
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, TransportErrorCode::cancelled);
  EXPECT_LT(lastSent, 256ull * 1024 * 1024);
  server.waitForRequests(1, kWait);
  for (const auto& received : server.requests()) EXPECT_FALSE(received.bodyComplete);
}

TEST_F(CurlTransportTest, ADroppedConnectionIsALostConnectionNotACancellation) {
  server.route("GET", "/big", [](const RecordedRequest&) { return StandInResponse::json(std::string(256 * 1024, 'b')); });
  server.addFault("GET", "/x", 1, Fault::dropBeforeAnswer());
  server.addFault("GET", "/big", 1, Fault::dropMidBody());
  server.addFault("PUT", "/up", 1, Fault::dropMidUpload());
  const auto path = makeSparseFile(directory, 64ull * 1024 * 1024);
  auto transport = makeTransport();

  const auto before = transport.send(request("GET", server.url("/x")));
  ASSERT_FALSE(before);
  EXPECT_EQ(before.error().code, TransportErrorCode::connectionLost) << before.error().message;

  const auto midBody = transport.send(request("GET", server.url("/big")));
  ASSERT_FALSE(midBody);
  EXPECT_EQ(midBody.error().code, TransportErrorCode::connectionLost) << midBody.error().message;

  const auto midUpload = transport.send(request("PUT", server.url("/up"), FileRange{path, 0, std::nullopt, {}}));
  ASSERT_FALSE(midUpload);
  EXPECT_EQ(midUpload.error().code, TransportErrorCode::connectionLost) << midUpload.error().message;

  // The faults were one-offs: the same requests now succeed.
  EXPECT_EQ(transport.send(request("GET", server.url("/big")))->body.size(), 256u * 1024);
  EXPECT_EQ(transport.send(request("GET", server.url("/x")))->status, 404);
}

TEST_F(CurlTransportTest, AFaultCanAnswerWithAStatusOnTheNthRequest) {
  server.addFault("GET", "/n", 2, Fault::answer(503));
  auto transport = makeTransport();
  EXPECT_EQ(transport.send(request("GET", server.url("/n")))->status, 404);
  EXPECT_EQ(transport.send(request("GET", server.url("/n")))->status, 503);
  EXPECT_EQ(transport.send(request("GET", server.url("/n")))->status, 404);
}

TEST_F(CurlTransportTest, AStalledAnswerTimesOutAfterTheIdleTimeout) {
  server.addFault("GET", "/stall", 0, Fault::stall());
  auto transport = makeTransport();
  auto get = request("GET", server.url("/stall"));
  get.idleTimeout = 300ms;
  const auto result = transport.send(get);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, TransportErrorCode::timedOut);
}

TEST_F(CurlTransportTest, ConnectionAndCertificateFailuresAreClassified) {
  auto transport = makeTransport();
  // A port bound but not listening refuses connections, and stays ours for the whole test: a
  // stopped server's port could be taken by a test running beside this one.
  const int bound = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(bound, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(bound, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(::getsockname(bound, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const auto refused = transport.send(
      request("GET", *Url::parse("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x")));
  ::close(bound);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().code, TransportErrorCode::cannotConnect);

  // Trusting only the system's authorities, the test certificate is refused.
  CurlTransport untrusting(sameOriginOnly, CurlTransportOptions{"/etc/ssl/certs/ca-certificates.crt", 10});
  const auto untrusted = untrusting.send(request("GET", server.url("/x")));
  ASSERT_FALSE(untrusted);
  EXPECT_EQ(untrusted.error().code, TransportErrorCode::tlsFailure);
}

TEST_F(CurlTransportTest, ManyThreadsShareOneTransport) {
  server.route("PUT", "/t/(\\d+)", [](const RecordedRequest& received) {
    return StandInResponse::json(received.pathMatches.at(0) + ":" + std::to_string(received.bodySize));
  });
  auto transport = makeTransport();
  std::atomic<int> correct{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        const std::string id = std::to_string(t * 100 + i);
        const auto result = transport.send(request("PUT", server.url("/t/" + id), std::string(1000 + i, 'x')));
        if (result && result->body == id + ":" + std::to_string(1000 + i)) ++correct;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(correct.load(), 80);
}

// A whole large file goes out from disk in bounded memory, byte for byte.
TEST_F(CurlTransportTest, StreamsATwoGigabyteFileInFlatMemory) {
  constexpr std::uint64_t kSize = 2ull * 1024 * 1024 * 1024;
  const auto path = makeSparseFile(directory, kSize);
  const std::string expectedHash = testing::sha256OfFile(path);
  auto transport = makeTransport();
  const std::uint64_t peakBefore = peakResidentKilobytes();
  std::uint64_t lastReported = 0;
  const auto result = transport.send(request("PUT", server.url("/storage/object"), FileRange{path, 0, std::nullopt, {}}), {},
                                     [&](std::uint64_t sent, std::uint64_t) { lastReported = sent; });
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_EQ(result->status, 404);  // no route: the answer does not matter here
  EXPECT_EQ(lastReported, kSize);
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].bodySize, kSize);
  EXPECT_TRUE(received[0].bodyComplete);
  EXPECT_EQ(received[0].bodySha256, expectedHash);
  const std::uint64_t growth = peakResidentKilobytes() - peakBefore;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' quarantine and shadow memory make resident size say nothing about buffering.
  (void)growth;
#else
  EXPECT_LT(growth, 64u * 1024) << "peak resident memory grew by " << growth << " KiB";
#endif
}

}  // namespace
}  // namespace tavrel::platform
