#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

class QDBusServiceWatcher;

namespace tavrel {

// Notices a tray host on the desktop: a StatusNotifierItem host (the `org.kde.StatusNotifierWatcher`
// name on the session bus, with a host registered) or an X11 tray (the owner of the
// `_NET_SYSTEM_TRAY_S0` selection). A panel started after the program, or restarted, announces its
// tray; `hostAppeared` then tells that icons must be put in it (again). `hostGone` tells that a
// host may have gone (its name left the bus, or the X11 tray's window was destroyed): ask
// isHostPresent() whether another is still there.
//
// IMPORTANT: Thread-safety. Main thread only.
class TrayHostWatcher final : public QObject, public QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  explicit TrayHostWatcher(QObject* parent = nullptr);
  ~TrayHostWatcher() override;

  // Whether a tray host is there now. Asked before Qt's own tray check, which decides once per
  // process whether to use the StatusNotifierItem protocol.
  bool isHostPresent() const;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 signals:
  // A tray host appeared or came back; emitted on a later turn of the event loop.
  void hostAppeared();
  // A tray host may have gone; emitted on a later turn of the event loop.
  void hostGone();

 private slots:
  void statusNotifierHostRegistered();
  void statusNotifierHostUnregistered();

 private:
  bool isStatusNotifierHostPresent() const;
  bool isXEmbedTrayPresent() const;
  void announce();
  void announceGone();
  // Listens for the destruction of the X11 tray's window, which ends that tray.
  void watchXEmbedTray(std::uint32_t owner);

  QDBusServiceWatcher* serviceWatcher_ = nullptr;
  std::uint32_t managerAtom_ = 0;
  std::uint32_t selectionAtom_ = 0;
  std::uint32_t trayOwner_ = 0;
  bool announcing_ = false;
  bool announcingGone_ = false;
};

}  // namespace tavrel
