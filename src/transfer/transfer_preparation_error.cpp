#include "transfer/transfer_preparation_error.h"

namespace tavrel {

std::string TransferPreparationError::localizedDescription() const {
  struct Describe {
    std::string operator()(const CannotRead& error) const {
      return "Tavrel couldn\u2019t read \u201C" + error.name + "\u201D. Check its permissions and try again.";
    }
    std::string operator()(const UnsupportedSymbolicLink& error) const {
      return "\u201C" + error.name + "\u201D is a symbolic link and can\u2019t be transferred securely.";
    }
    std::string operator()(const NoTransferableFiles&) const {
      return "No transferable files were found in this selection.";
    }
  };
  return std::visit(Describe{}, reason);
}

}  // namespace tavrel
