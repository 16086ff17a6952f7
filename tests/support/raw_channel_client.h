#pragma once

#include <filesystem>

namespace tavrel::testing {

// A client of a program's local channel (a Unix stream socket) that connects and then sends what
// its test tells it to, when it is told; the connected descriptor, or -1.
int connectRaw(const std::filesystem::path& socketPath);

}  // namespace tavrel::testing
