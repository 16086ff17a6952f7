#pragma once

#include <string>

namespace tavrel {

// A file that is no longer the one preparation saw (swapped, edited, turned into a link) while its
// transfer was being sent. Never retried: another attempt would send a mix of both versions.
struct ChangedFileError {
  std::string fileName;  // as shown to the user

  std::string errorDescription() const;

  friend bool operator==(const ChangedFileError&, const ChangedFileError&) = default;
};

}  // namespace tavrel
