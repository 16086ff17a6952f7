#pragma once

// What every fuzz target shares. Each target is one LLVMFuzzerTestOneInput over one parser of data
// that comes from outside the program; built with clang and libFuzzer it explores (scripts/fuzz), built
// with replay_main.cpp it runs the committed corpus and regression inputs under ctest.
//
// A target checks what must hold for every input (a decoded record encodes and decodes to itself, a
// written file stays within its limit) with FUZZ_CHECK, which aborts so that both builds report it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

#define FUZZ_CHECK(condition)                                                                     \
  do {                                                                                            \
    if (!(condition)) {                                                                           \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);         \
      std::abort();                                                                               \
    }                                                                                             \
  } while (false)

namespace tavrel::fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tavrel::fuzz
