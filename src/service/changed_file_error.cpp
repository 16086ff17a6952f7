#include "service/changed_file_error.h"

namespace tavrel {

std::string ChangedFileError::errorDescription() const {
  return "“" + fileName + "” changed while it was being sent. Send it again to upload its current contents.";
}

}  // namespace tavrel
