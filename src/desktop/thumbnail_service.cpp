#include "desktop/thumbnail_service.h"

#include <glib.h>

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <optional>

#include "desktop/thumbnail_file.h"

namespace tavrel::desktop {
namespace {

const QString serviceName = QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1");
const QString servicePath = QStringLiteral("/org/freedesktop/thumbnails/Thumbnailer1");
const QString serviceInterface = QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1");

constexpr int callTimeoutMilliseconds = 60'000;
// Long enough for a large video on a busy machine; a service that never answers must not hold a
// worker for good.
constexpr std::chrono::seconds answerTimeout{60};

// What the service says about the requests of this connection, gathered until ours has finished.
// Its signals go to every waiter on the connection, so each keeps only its own handle's news.
class ServiceAnswers : public QObject {
  Q_OBJECT

 public:
  ServiceAnswers(QString uri, QEventLoop& loop) : uri_(std::move(uri)), loop_(loop) {}

  void expect(uint handle) {
    handle_ = handle;
    settle();
  }
  bool finished() const { return handle_ && finishedHandles_.contains(*handle_); }
  bool ready() const { return handle_ && readyHandles_.contains(*handle_) && !errorHandles_.contains(*handle_); }

 public Q_SLOTS:
  void onReady(uint handle, const QStringList& uris) {
    if (uris.contains(uri_)) readyHandles_.insert(handle);
  }
  void onError(uint handle, const QStringList& uris, int, const QString&) {
    if (uris.contains(uri_)) errorHandles_.insert(handle);
  }
  void onFinished(uint handle) {
    finishedHandles_.insert(handle);
    settle();
  }

 private:
  void settle() {
    if (finished()) loop_.quit();
  }

  QString uri_;
  QEventLoop& loop_;
  std::optional<uint> handle_;
  QSet<uint> readyHandles_;
  QSet<uint> errorHandles_;
  QSet<uint> finishedHandles_;
};

// The shared cache's file for an address: the MD5 of the address, in hexadecimal, as a PNG.
std::filesystem::path cachedThumbnailPath(const QString& uri, const QString& flavor) {
  const QByteArray digest = QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex();
  return std::filesystem::path(g_get_user_cache_dir()) / "thumbnails" / flavor.toStdString() /
         (digest.toStdString() + ".png");
}

// Whole seconds, as the standard writes them; some services add a fraction.
bool sameModificationTime(const QString& recorded, std::int64_t seconds) {
  bool valid = false;
  const qlonglong whole = recorded.section(QLatin1Char('.'), 0, 0).toLongLong(&valid);
  return valid && whole == seconds;
}

bool connectAnswers(QDBusConnection& bus, ServiceAnswers& answers) {
  return bus.connect(serviceName, servicePath, serviceInterface, QStringLiteral("Ready"), &answers,
                     SLOT(onReady(uint, QStringList))) &&
         bus.connect(serviceName, servicePath, serviceInterface, QStringLiteral("Error"), &answers,
                     SLOT(onError(uint, QStringList, int, QString))) &&
         bus.connect(serviceName, servicePath, serviceInterface, QStringLiteral("Finished"), &answers,
                     SLOT(onFinished(uint)));
}

void disconnectAnswers(QDBusConnection& bus, ServiceAnswers& answers) {
  bus.disconnect(serviceName, servicePath, serviceInterface, QStringLiteral("Ready"), &answers,
                 SLOT(onReady(uint, QStringList)));
  bus.disconnect(serviceName, servicePath, serviceInterface, QStringLiteral("Error"), &answers,
                 SLOT(onError(uint, QStringList, int, QString)));
  bus.disconnect(serviceName, servicePath, serviceInterface, QStringLiteral("Finished"), &answers,
                 SLOT(onFinished(uint)));
}

}  // namespace

ThumbnailService::ThumbnailService()
    : connectionName_(QStringLiteral("tavrel-thumbnails-%1").arg(quintptr(this), 0, 16)) {}

ThumbnailService::~ThumbnailService() {
  std::lock_guard lock(probeMutex_);
  if (connected_) QDBusConnection::disconnectFromBus(connectionName_);
}

bool ThumbnailService::available() {
  std::lock_guard lock(probeMutex_);
  if (presence_ == Presence::unknown) presence_ = probe();
  return presence_ == Presence::present;
}

ThumbnailService::Presence ThumbnailService::probe() {
  // A connection of our own: the shared one delivers signals only once the main thread's event
  // loop has run, and our waits must not depend on the main thread.
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_);
  connected_ = true;
  if (!bus.isConnected() || !bus.interface()) return Presence::absent;
  const auto registered = bus.interface()->isServiceRegistered(serviceName);
  bool present = registered.isValid() && registered.value();
  if (!present) {
    const auto activatable = bus.interface()->activatableServiceNames();
    present = activatable.isValid() && activatable.value().contains(serviceName);
  }
  if (!present) return Presence::absent;

  // This call may start the service, which can take long on a busy machine: when it fails, the
  // next request asks again rather than doing without the service for good.
  const QDBusMessage reply =
      bus.call(QDBusMessage::createMethodCall(serviceName, servicePath, serviceInterface, QStringLiteral("GetFlavors")),
               QDBus::Block, callTimeoutMilliseconds);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return Presence::unknown;
  const QStringList offered = qdbus_cast<QStringList>(reply.arguments().constFirst());
  static const Flavor known[] = {{QStringLiteral("normal"), 128},
                                 {QStringLiteral("large"), 256},
                                 {QStringLiteral("x-large"), 512},
                                 {QStringLiteral("xx-large"), 1024}};
  for (const Flavor& flavor : known) {
    if (offered.contains(flavor.name)) flavors_.push_back(flavor);
  }
  return flavors_.empty() ? Presence::absent : Presence::present;
}

QString ThumbnailService::flavorFor(QSize box) const {
  const int side = std::max(box.width(), box.height());
  const auto fitting = std::find_if(flavors_.begin(), flavors_.end(), [side](const Flavor& flavor) { return flavor.side >= side; });
  return fitting != flavors_.end() ? fitting->name : flavors_.back().name;
}

QString ThumbnailService::fileUri(const std::filesystem::path& file) {
  const std::string path = std::filesystem::absolute(file).lexically_normal().string();
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  if (!uri) return {};
  QString text = QString::fromUtf8(uri);
  g_free(uri);
  return text;
}

QImage ThumbnailService::thumbnail(const std::filesystem::path& file, const std::string& mimeType,
                                   std::int64_t modificationTime, QSize box, std::stop_token stop) {
  if (!available() || box.isEmpty() || stop.stop_requested()) return {};
  const QString uri = fileUri(file);
  if (uri.isEmpty()) return {};
  const QString flavor = flavorFor(box);

  QDBusConnection bus(connectionName_);
  QEventLoop loop;
  ServiceAnswers answers(uri, loop);
  // Listening before asking: the answers may follow the reply at once.
  if (!connectAnswers(bus, answers)) {
    disconnectAnswers(bus, answers);
    return {};
  }
  QDBusMessage queue =
      QDBusMessage::createMethodCall(serviceName, servicePath, serviceInterface, QStringLiteral("Queue"));
  queue << QStringList{uri} << QStringList{QString::fromStdString(mimeType)} << flavor << QStringLiteral("default")
        << 0u;
  const QDBusMessage reply = bus.call(queue, QDBus::Block, callTimeoutMilliseconds);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    disconnectAnswers(bus, answers);
    return {};
  }
  const uint handle = reply.arguments().constFirst().toUInt();
  answers.expect(handle);
  if (!answers.finished()) {
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(answerTimeout);
    // A cancel from another thread ends the wait through the loop's own thread.
    std::stop_callback wake(stop, [&loop] { QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection); });
    loop.exec();
  }
  disconnectAnswers(bus, answers);
  if (!answers.finished()) {
    QDBusMessage dequeue =
        QDBusMessage::createMethodCall(serviceName, servicePath, serviceInterface, QStringLiteral("Dequeue"));
    dequeue << handle;
    bus.send(dequeue);
    return {};
  }
  if (!answers.ready() || stop.stop_requested()) return {};

  const auto cached = ThumbnailSourceFile::open(cachedThumbnailPath(uri, flavor));
  if (!cached) return {};
  const QImage image = readBoundedImage(*cached, QSize(maximumThumbnailSide, maximumThumbnailSide));
  // The cache is shared: take only an image that names this file as it is now.
  if (image.isNull() || image.text(QStringLiteral("Thumb::URI")) != uri ||
      !sameModificationTime(image.text(QStringLiteral("Thumb::MTime")), modificationTime)) {
    return {};
  }
  return image;
}

}  // namespace tavrel::desktop

#include "thumbnail_service.moc"
