#pragma once

#include <filesystem>
#include <string_view>

namespace tavrel::testing {

// Overwrites the first byte of a file in place (same size, same inode) and moves its modification
// time a second on, as an editor saving over it would; a second, because file systems keep the time
// in coarse ticks and the test may well run inside one.
void editInPlace(const std::filesystem::path& file);

// A fresh directory under the system's temporary folder, removed with everything in it (permissions
// restored first) when the object goes away.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `contents` to `relative`, creating parent folders. Returns the full path.
  std::filesystem::path writeFile(const std::filesystem::path& relative, std::string_view contents) const;
  std::filesystem::path makeDirectory(const std::filesystem::path& relative) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tavrel::testing
