#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

namespace tavrel {

// Closes a transient window when the user clicks elsewhere. A desktop program cannot watch clicks
// in other programs, so it watches what they cause: the program losing the focus to another one
// closes the window (on a later turn of the event loop), and a left or right button press in one
// of the program's own windows closes it unless the owner says the pointer is inside. The press is
// always delivered as usual.
//
// IMPORTANT: Thread-safety. Main thread only; needs the application object.
class OutsideClickMonitor final : public QObject {
  Q_OBJECT

 public:
  explicit OutsideClickMonitor(QObject* parent = nullptr);
  ~OutsideClickMonitor() override;

  // Arms the monitor, replacing an earlier arming. `isInside` answers for the press's position on
  // screen; `onOutsideClick` closes the owner's window.
  void start(std::function<bool(QPoint)> isInside, std::function<void()> onOutsideClick);
  // Harmless when idle.
  void stop();
  bool isArmed() const { return armed_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void applicationStateChanged(Qt::ApplicationState state);

  bool armed_ = false;
  std::function<bool(QPoint)> isInside_;
  std::function<void()> onOutsideClick_;
  QMetaObject::Connection stateConnection_;
};

}  // namespace tavrel
