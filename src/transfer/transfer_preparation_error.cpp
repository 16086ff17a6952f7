#include "transfer/transfer_preparation_error.h"

namespace tavrel {

std::string TransferPreparationError::localizedDescription() const {
  struct Describe {
    std::string operator()(const CannotRead& error) const {
      return platform::fillText(unreadablePattern, {error.name});
    }
    std::string operator()(const UnsupportedSymbolicLink& error) const {
      return platform::fillText(symbolicLinkPattern, {error.name});
    }
    std::string operator()(const NoTransferableFiles&) const {
      return TAVREL_TRANSLATE_NOOP("Core", "No transferable files were found in this selection.");
    }
  };
  return std::visit(Describe{}, reason);
}

}  // namespace tavrel
