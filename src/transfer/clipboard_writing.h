#pragma once

#include <string>

namespace tavrel {

// Replaces the clipboard's contents with plain text. Main thread; returns at once.
class ClipboardWriting {
 public:
  virtual ~ClipboardWriting() = default;
  virtual void write(const std::string& text) = 0;
};

}  // namespace tavrel
