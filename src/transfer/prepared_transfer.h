#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix_files.h"
#include "transfer/transfer_defaults.h"
#include "transfer/transfer_selection.h"

namespace tavrel {

// One regular file to upload.
struct TransferFile {
  // Our own identity of the file towards the service: an upper-case UUID made at preparation.
  std::string referenceID;
  std::filesystem::path sourceURL;
  std::string relativePath;  // "/"-separated, starting with the top-level item's name
  std::int64_t size = 0;     // at least 1
  std::string mimeType;
  // The file as preparation saw it; the upload sends it only while it is still that file.
  std::optional<platform::FileIdentity> identity;

  friend bool operator==(const TransferFile&, const TransferFile&) = default;
};

// A selection ready to upload. `files` is never empty.
struct PreparedTransfer {
  TransferSelection sourceSelection;
  std::string title;
  std::vector<TransferFile> files;  // in upload order
  TransferDefaults defaults;

  // The sum of the files' sizes.
  std::int64_t totalBytes() const;

  friend bool operator==(const PreparedTransfer&, const PreparedTransfer&) = default;
};

}  // namespace tavrel
