#pragma once

#include <string>

#include "platform/translatable_text.h"

namespace tavrel {

// A file that is no longer the one preparation saw (swapped, edited, turned into a link) while its
// transfer was being sent. Never retried: another attempt would send a mix of both versions.
struct ChangedFileError {
  std::string fileName;  // as shown to the user

  // The description before the name is filled in.
  static constexpr const char* descriptionPattern = TAVREL_TRANSLATE_NOOP(
      "Core", "“%1” changed while it was being sent. Send it again to upload its current contents.");

  std::string errorDescription() const;

  friend bool operator==(const ChangedFileError&, const ChangedFileError&) = default;
};

}  // namespace tavrel
