#include "platform/posix_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavrel::platform {

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const auto written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int makePrivateFolders(const std::filesystem::path& folder) {
  std::filesystem::path current;
  for (const auto& part : folder) {
    current /= part;
    if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

}  // namespace tavrel::platform
