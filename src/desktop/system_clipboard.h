#pragma once

#include "transfer/clipboard_writing.h"

namespace tavrel {

// The desktop's clipboard through Qt. A write replaces everything the clipboard held, in every
// format, and on X11 the primary selection too, so a middle-click pastes the same link.
//
// IMPORTANT: Threading. Main thread only, with a Qt GUI application object.
class SystemClipboard final : public ClipboardWriting {
 public:
  void write(const std::string& text) override;
};

}  // namespace tavrel
