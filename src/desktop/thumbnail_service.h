#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace tavrel::desktop {

// The desktop's thumbnail service on the session bus, and the shared thumbnail cache (under the
// user's cache folder, in "thumbnails/<size name>/") where it leaves what it made, so a file the
// file manager already thumbnailed costs us nothing.
//
// IMPORTANT: Thread-safety. Every member may be called from any thread, also at the same time.
// Calls block on the bus and belong on worker threads; each waits with its own event loop on the
// calling thread.
class ThumbnailService {
 public:
  ThumbnailService();
  ~ThumbnailService();
  ThumbnailService(const ThumbnailService&) = delete;
  ThumbnailService& operator=(const ThumbnailService&) = delete;

  // Whether the session has the service, running or ready to start. Asked on first use, and again
  // while the service has not answered.
  bool available();

  // The service's thumbnail of the file, at least as large as `box` where the service makes one
  // that large. Null when the service has none or failed, when the cached image is not of this
  // file as it is now (other address or modification time), or once `stop` is requested.
  QImage thumbnail(const std::filesystem::path& file, const std::string& mimeType, std::int64_t modificationTime,
                   QSize box, std::stop_token stop);

  // The file's address as the shared cache names it ("file:///a%20b.png"); empty when the path
  // cannot be written as one.
  static QString fileUri(const std::filesystem::path& file);

 private:
  struct Flavor {
    QString name;
    int side;
  };

  enum class Presence { unknown, present, absent };

  Presence probe();
  QString flavorFor(QSize box) const;

  const QString connectionName_;
  std::mutex probeMutex_;
  Presence presence_ = Presence::unknown;
  bool connected_ = false;
  std::vector<Flavor> flavors_;  // the service's sizes we know, smallest first; fixed once present
};

}  // namespace tavrel::desktop
