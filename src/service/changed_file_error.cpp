#include "service/changed_file_error.h"

namespace tavrel {

std::string ChangedFileError::errorDescription() const {
  return platform::fillText(descriptionPattern, {fileName});
}

}  // namespace tavrel
