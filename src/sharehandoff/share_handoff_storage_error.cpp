#include "sharehandoff/share_handoff_storage_error.h"

namespace tavrel {

std::string ShareHandoffStorageError::localizedDescription() const {
  switch (kind) {
    case Kind::appGroupUnavailable:
      return TAVREL_TRANSLATE_NOOP("Core", "Tavrel couldn’t access its shared handoff container.");
    case Kind::invalidRequest:
      return TAVREL_TRANSLATE_NOOP("Core", "The shared items could not be validated.");
    case Kind::requestTooLarge:
      return TAVREL_TRANSLATE_NOOP("Core", "Too many shared items were provided.");
    case Kind::unsupportedVersion:
      return TAVREL_TRANSLATE_NOOP("Core", "This shared request requires a newer version of Tavrel.");
    case Kind::fileSystem:
      return platform::fillText(fileAccessPattern, {detail});
    case Kind::decoding:
      return TAVREL_TRANSLATE_NOOP("Core", "The handoff file isn’t in the expected format.");
  }
  return {};
}

}  // namespace tavrel
