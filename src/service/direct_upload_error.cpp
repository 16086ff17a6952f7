#include "service/direct_upload_error.h"

#include "platform/translatable_text.h"

namespace tavrel {

std::string DirectUploadError::errorDescription() const {
  return platform::fillText(descriptionPattern, {std::to_string(static_cast<int>(kind))});
}

}  // namespace tavrel
