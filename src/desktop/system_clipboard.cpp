#include "desktop/system_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tavrel {

void SystemClipboard::write(const std::string& text) {
  auto* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return;
  const auto value = QString::fromStdString(text);
  for (const auto mode : {QClipboard::Clipboard, QClipboard::Selection}) {
    if (mode == QClipboard::Selection && !clipboard->supportsSelection()) continue;
    clipboard->clear(mode);
    clipboard->setText(value, mode);
  }
}

}  // namespace tavrel
