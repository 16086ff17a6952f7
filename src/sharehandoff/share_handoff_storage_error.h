#pragma once

#include <string>

#include "platform/translatable_text.h"

namespace tavrel {

// Why the shared container could not be used, or why a request or acknowledgement in it was refused.
// The first four kinds carry fixed texts; file-system and decoding failures carry what went wrong.
struct ShareHandoffStorageError {
  enum class Kind {
    appGroupUnavailable,
    invalidRequest,
    requestTooLarge,
    unsupportedVersion,
    fileSystem,  // a file operation failed; `detail` names the system's reason
    decoding,    // the file is not the expected JSON record; `detail` names the key path (for logs)
  };

  Kind kind = Kind::invalidRequest;
  std::string detail;

  static ShareHandoffStorageError fileSystem(std::string detail) { return {Kind::fileSystem, std::move(detail)}; }
  static ShareHandoffStorageError decoding(std::string detail) { return {Kind::decoding, std::move(detail)}; }

  // The file-system text, before the system's reason is filled in.
  static constexpr const char* fileAccessPattern =
      TAVREL_TRANSLATE_NOOP("Core", "The handoff file could not be read or written (%1).");

  // The user-facing text.
  std::string localizedDescription() const;

  friend bool operator==(const ShareHandoffStorageError&, const ShareHandoffStorageError&) = default;
};

}  // namespace tavrel
