#include "bench_support.h"

#include <openssl/rand.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrel::bench {

void writeRandomFile(const std::filesystem::path& path, std::uint64_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  std::vector<unsigned char> block(8 * 1024 * 1024);
  for (std::uint64_t written = 0; written < size;) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - written));
    if (RAND_bytes(block.data(), static_cast<int>(count)) != 1) throw std::runtime_error("no random source");
    file.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(count));
    written += count;
  }
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

void warmPageCache(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> block(8 * 1024 * 1024);
  while (file.read(block.data(), static_cast<std::streamsize>(block.size())) || file.gcount() > 0) {
  }
}

double curlToolPut(const std::filesystem::path& file, const platform::Url& url,
                   const std::filesystem::path& certificateAuthority) {
  const std::string command = "curl -sS -o /dev/null -H 'Expect:' -T '" + file.string() + "' --cacert '" +
                              certificateAuthority.string() + "' '" + url.toString() + "'";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (status != 0) throw std::runtime_error("curl upload failed: " + command);
  return elapsed;
}

std::uint64_t processStatusBytes(std::string_view field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stoull(line.substr(prefix.size())) * 1024;
  }
  return 0;
}

}  // namespace tavrel::bench
