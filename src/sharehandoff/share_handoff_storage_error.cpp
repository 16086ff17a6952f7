#include "sharehandoff/share_handoff_storage_error.h"

namespace tavrel {

std::string ShareHandoffStorageError::localizedDescription() const {
  switch (kind) {
    case Kind::appGroupUnavailable:
      return "Tavrel couldn’t access its shared handoff container.";
    case Kind::invalidRequest:
      return "The shared items could not be validated.";
    case Kind::requestTooLarge:
      return "Too many shared items were provided.";
    case Kind::unsupportedVersion:
      return "This shared request requires a newer version of Tavrel.";
    case Kind::fileSystem:
      return "The handoff file could not be read or written (" + detail + ").";
    case Kind::decoding:
      return "The handoff file isn’t in the expected format.";
  }
  return {};
}

}  // namespace tavrel
