#pragma once

// <regex> for our own code. g++ 12 under AddressSanitizer warns of uninitialised std::function
// members inside libstdc++'s regex compiler, when it moves its states; the warning is off for that
// header's code alone, in that build alone. Include this before anything that brings <regex>
// (httplib.h does): only its first inclusion counts.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13 && defined(__SANITIZE_ADDRESS__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#else
#include <regex>
#endif
