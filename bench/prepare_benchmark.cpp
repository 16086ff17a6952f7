// Times the preparation of a folder of 100,000 small files beside `find DIR -type f | wc -l` on the
// same tree, in one run, and prints both and their ratio.
//
//   tavrel_bench_prepare [file-count] [runs]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "transfer/local_transfer_file_preparer.h"

namespace {

using Seconds = std::chrono::duration<double>;

std::filesystem::path makeTree(int fileCount) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
  const std::filesystem::path root = std::filesystem::path(pattern) / "Tree";
  // 100 files per folder, folders two levels deep, names of a realistic mix of types.
  static const char* extensions[] = {"jpg", "txt", "pdf", "mov", "png", "json", "md", "bin"};
  for (int index = 0; index < fileCount; ++index) {
    const auto folder = root / ("group" + std::to_string(index / 10000)) / ("folder" + std::to_string(index / 100));
    if (index % 100 == 0) std::filesystem::create_directories(folder);
    const auto file = folder / ("file" + std::to_string(index) + "." + extensions[index % 8]);
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0 || ::write(descriptor, "data", 4) != 4) throw std::runtime_error("cannot write " + file.string());
    ::close(descriptor);
  }
  return root;
}

double timeFind(const std::filesystem::path& root, long& count) {
  const std::string command = "find '" + root.string() + "' -type f | wc -l";
  const auto start = std::chrono::steady_clock::now();
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run find");
  count = -1;
  if (std::fscanf(pipe, "%ld", &count) != 1) count = -1;
  ::pclose(pipe);
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

double timePrepare(const tavrel::TransferSelection& selection, std::size_t& count) {
  const auto start = std::chrono::steady_clock::now();
  const auto outcome = tavrel::LocalTransferFilePreparer::prepareNow(selection, {}, {});
  const double elapsed = Seconds(std::chrono::steady_clock::now() - start).count();
  const auto* prepared = std::get_if<tavrel::PreparedTransfer>(&outcome);
  count = prepared != nullptr ? prepared->files.size() : 0;
  return elapsed;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int fileCount = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  std::printf("creating %d files...\n", fileCount);
  const auto root = makeTree(fileCount);
  const auto selection = tavrel::TransferSelection::fromURLs({root});
  if (!selection) throw std::runtime_error("unusable selection");

  // Both walks see a warm cache: one untimed pass each first.
  long foundCount = 0;
  std::size_t preparedCount = 0;
  timeFind(root, foundCount);
  timePrepare(*selection, preparedCount);

  std::vector<double> findTimes;
  std::vector<double> prepareTimes;
  for (int run = 0; run < runs; ++run) {
    findTimes.push_back(timeFind(root, foundCount));
    prepareTimes.push_back(timePrepare(*selection, preparedCount));
  }

  const double find = median(findTimes);
  const double prepare = median(prepareTimes);
  std::printf("files: find %ld, preparer %zu\n", foundCount, preparedCount);
  std::printf("find -type f | wc -l : %8.1f ms (median of %d)\n", find * 1000, runs);
  std::printf("preparer (walk, sizes, types, ids, order): %8.1f ms (median of %d)\n", prepare * 1000, runs);
  std::printf("ratio preparer / find: %.2f\n", prepare / find);

  std::error_code ignored;
  std::filesystem::remove_all(root.parent_path(), ignored);
  return preparedCount == static_cast<std::size_t>(fileCount) ? 0 : 1;
}
