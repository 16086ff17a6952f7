#pragma once

#include <QUrl>

#include <filesystem>
#include <optional>

namespace tavrel::ui {

// The path a local file address names, byte for byte: the address's percent-escapes decoded
// straight to bytes, so a name that is not UTF-8 (which QUrl::toLocalFile turns into U+FFFD)
// still names its file. None for an address that is not a local file.
std::optional<std::filesystem::path> localFilePath(const QUrl& url);

}  // namespace tavrel::ui
