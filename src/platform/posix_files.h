#pragma once

#include <filesystem>
#include <string_view>

namespace tavrel::platform {

// Writes all of `data` to the descriptor, resuming after interrupted and short writes. False when a
// write fails (errno says why).
bool writeAll(int fd, std::string_view data);

// Creates each missing folder of `folder`, private to the user (0700); folders that exist are left
// as they are. 0 on success, else the errno of the first failure.
int makePrivateFolders(const std::filesystem::path& folder);

}  // namespace tavrel::platform
