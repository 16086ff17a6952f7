// Upload throughput of CurlTransport against a local HTTPS sink, side by side with the curl
// command-line tool sending the same file to the same sink in the same run.
//
//   tavrel_bench_transport [--size-mib N] [--runs N] [--random] [--file PATH]
//
// The file is sparse by default (reads cost no disk time, so the network path is what is
// measured); --random writes random bytes instead. The sink does not hash what it receives.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/curl_transport.h"
#include "support/https_test_server.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::uint64_t sizeMiB = 2048;
  int runs = 1;
  bool random = false;
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
    else if (argument == "--runs") options.runs = std::stoi(next());
    else if (argument == "--random") options.random = true;
    else if (argument == "--file") options.file = next();
    else throw std::invalid_argument("unknown argument " + argument);
  }
  if (options.sizeMiB == 0 || options.runs <= 0) throw std::invalid_argument("size and runs must be positive");
  return options;
}

void makeFile(const std::filesystem::path& path, std::uint64_t size, bool random) {
  if (random) {
    tavrel::bench::writeRandomFile(path, size);
    return;
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc).close();
  std::filesystem::resize_file(path, size);
}

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double mibPerSecond(std::uint64_t bytes, double elapsed) { return static_cast<double>(bytes) / (1024.0 * 1024.0) / elapsed; }

double uploadThroughTransport(const tavrel::testing::HttpsTestServer& server, const std::filesystem::path& file,
                              std::uint64_t size) {
  tavrel::platform::CurlTransport transport({}, {tavrel::testing::testCertificateAuthorityFile(), 10});
  tavrel::platform::HttpRequest request;
  request.method = "PUT";
  request.url = server.url("/transport");
  request.body = tavrel::platform::FileRange{file, 0, std::nullopt, {}};
  const auto start = Clock::now();
  const auto result = transport.send(request);
  const double elapsed = seconds(Clock::now() - start);
  if (!result) throw std::runtime_error("transport upload failed: " + result.error().message);
  return mibPerSecond(size, elapsed);
}

double uploadThroughCurlTool(const tavrel::testing::HttpsTestServer& server, const std::filesystem::path& file,
                             std::uint64_t size) {
  return mibPerSecond(size, tavrel::bench::curlToolPut(file, server.url("/tool"),
                                                       tavrel::testing::testCertificateAuthorityFile()));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = parse(argc, argv);
    const std::uint64_t size = options.sizeMiB * 1024 * 1024;
    std::filesystem::path file = options.file;
    const bool ownsFile = file.empty();
    struct RemoveOnExit {
      std::filesystem::path path;
      ~RemoveOnExit() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove(path, ignored);
      }
    } made;
    if (ownsFile) {
      file = std::filesystem::temp_directory_path() / ("tavrel-bench-upload-" + std::to_string(::getpid()) + ".bin");
      made.path = file;
      makeFile(file, size, options.random);
    }
    const std::uint64_t fileSize = std::filesystem::file_size(file);

    tavrel::testing::HttpsTestServer server;
    server.setHashesBodies(false);
    server.setBodyLimit(0);

    std::printf("upload of %.0f MiB (%s) to a local HTTPS sink, %d run(s)\n", fileSize / (1024.0 * 1024.0),
                options.random ? "random" : (ownsFile ? "sparse" : "given file"), options.runs);
    double bestTransport = 0;
    double bestTool = 0;
    tavrel::bench::warmPageCache(file);
    for (int run = 1; run <= options.runs; ++run) {
      // Alternate who goes first, so neither always meets a colder machine.
      double transport = 0;
      double tool = 0;
      if (run % 2 == 1) {
        transport = uploadThroughTransport(server, file, fileSize);
        tool = uploadThroughCurlTool(server, file, fileSize);
      } else {
        tool = uploadThroughCurlTool(server, file, fileSize);
        transport = uploadThroughTransport(server, file, fileSize);
      }
      std::printf("run %d: CurlTransport %8.1f MiB/s   curl tool %8.1f MiB/s   ratio %.2f\n", run, transport, tool,
                  transport / tool);
      bestTransport = std::max(bestTransport, transport);
      bestTool = std::max(bestTool, tool);
    }
    std::printf("best:  CurlTransport %8.1f MiB/s   curl tool %8.1f MiB/s   ratio %.2f\n", bestTransport, bestTool,
                bestTransport / bestTool);
    for (const auto& received : server.requests()) {
      if (received.bodySize != fileSize) {
        std::fprintf(stderr, "sink received %llu bytes on %s, expected %llu\n",
                     static_cast<unsigned long long>(received.bodySize), received.path.c_str(),
                     static_cast<unsigned long long>(fileSize));
        return 1;
      }
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tavrel_bench_transport: %s\n", error.what());
    return 2;
  }
}
