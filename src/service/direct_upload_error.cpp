#include "service/direct_upload_error.h"

namespace tavrel {

std::string DirectUploadError::errorDescription() const {
  return "The operation couldn’t be completed. (DirectUploadError error " + std::to_string(static_cast<int>(kind)) +
         ".)";
}

}  // namespace tavrel
