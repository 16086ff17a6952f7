#pragma once

// What the upload benchmarks share: the file they send, a warm page cache, the curl command-line
// tool as the reference uploader, and the process's memory figures.

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/url.h"

namespace tavrel::bench {

// Fills `path` with `size` random bytes, written a block at a time.
void writeRandomFile(const std::filesystem::path& path, std::uint64_t size);

// Reads the file once, so every uploader finds it equally warm.
void warmPageCache(const std::filesystem::path& path);

// PUTs the file to `url` with the curl tool, trusting `certificateAuthority`; returns the seconds it
// took. Throws when the tool fails. "Expect:" as our transport sends it, so neither waits for a
// 100 Continue.
double curlToolPut(const std::filesystem::path& file, const platform::Url& url,
                   const std::filesystem::path& certificateAuthority);

// A figure of /proc/self/status in bytes, e.g. "VmHWM" (peak resident) or "VmRSS"; 0 when absent.
std::uint64_t processStatusBytes(std::string_view field);

}  // namespace tavrel::bench
