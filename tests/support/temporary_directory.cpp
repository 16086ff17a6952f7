#include "support/temporary_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tavrel::testing {

void editInPlace(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open the file to edit");
  char first = 0;
  struct stat status {};
  const bool edited = ::pread(fd, &first, 1, 0) == 1 && (first = static_cast<char>(first ^ 0x5A), true) &&
                      ::pwrite(fd, &first, 1, 0) == 1 && ::fstat(fd, &status) == 0;
  timespec times[2] = {status.st_atim, status.st_mtim};
  times[1].tv_sec += 1;
  const bool timed = edited && ::futimens(fd, times) == 0;
  ::close(fd);
  if (!timed) throw std::runtime_error("cannot edit the file");
}

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  // Tests make folders unreadable on purpose; give them back before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TemporaryDirectory::writeFile(const std::filesystem::path& relative,
                                                    std::string_view contents) const {
  const auto full = path_ / relative;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + full.string());
  return full;
}

std::filesystem::path TemporaryDirectory::makeDirectory(const std::filesystem::path& relative) const {
  const auto full = path_ / relative;
  std::filesystem::create_directories(full);
  return full;
}

}  // namespace tavrel::testing
