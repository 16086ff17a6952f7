#include "ui/local_file_url.h"

namespace tavrel::ui {

std::optional<std::filesystem::path> localFilePath(const QUrl& url) {
  if (!url.isLocalFile()) return std::nullopt;
  const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (bytes.isEmpty() || bytes.contains('\0')) return std::nullopt;
  return std::filesystem::path(bytes.toStdString());
}

}  // namespace tavrel::ui
