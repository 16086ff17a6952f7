#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>

namespace tavrel {

// Closes a transient window when the user clicks elsewhere. A desktop program cannot watch clicks
// in other programs, so it watches what they cause: the program losing the focus to another one
// closes the window (on a later turn of the event loop), and a left or right button press in one
// of the program's own windows closes it unless the owner says the pointer is inside. The press is
// always delivered as usual. Focus lost while a pointer button is down may be the start of a drag
// from another program toward the window, so the monitor waits for the release and closes only if
// the owner did not stop it meanwhile (it does when a drag enters the window). Armed while another
// program has the focus already (after a drop from it), no focus change will come: the monitor then
// listens to the X server for presses anywhere and treats one outside its owner the same way. So it
// does when armed while a window of ours that was just hidden still holds the focus: X11 reports
// that focus lost some 400 ms late (in case it comes back), which is no click elsewhere; a shown
// window of ours taking the focus ends that wait.
//
// IMPORTANT: Thread-safety. Main thread only; needs the application object.
class OutsideClickMonitor final : public QObject {
  Q_OBJECT

 public:
  // Whether any pointer button is down anywhere on the screen, not only in our windows.
  using ButtonsDown = std::function<bool()>;
  // Calls onPress for each left or right button press anywhere on the screen for as long as the
  // returned handle lives; an empty handle when the desktop cannot tell.
  using PressWatch = std::function<std::shared_ptr<void>(std::function<void()> onPress)>;

  explicit OutsideClickMonitor(QObject* parent = nullptr);
  // Tests stand in for the pointer.
  OutsideClickMonitor(ButtonsDown buttonsDown, int releasePollMilliseconds, PressWatch pressWatch = {},
                      QObject* parent = nullptr);
  ~OutsideClickMonitor() override;

  // Arms the monitor; when armed already, only the callbacks change (a wait for a release stays).
  // `isInside` answers for the press's position on screen; `onOutsideClick` closes the owner's window.
  void start(std::function<bool(QPoint)> isInside, std::function<void()> onOutsideClick);
  // Harmless when idle.
  void stop();
  bool isArmed() const { return armed_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void applicationStateChanged(Qt::ApplicationState state);
  void closeAfterRelease(quint64 arming);
  void pressedAnywhere();

  ButtonsDown buttonsDown_;
  int releasePollMilliseconds_ = 50;
  PressWatch pressWatch_;
  std::shared_ptr<void> watching_;
  // Tells an arming from the next (a stop in between) so a wait begun under one never closes under
  // another.
  quint64 arming_ = 0;

  bool armed_ = false;
  // Armed before a shown window of ours had the focus: a focus loss reported now is an old one.
  bool awaitingFocus_ = false;
  QMetaObject::Connection focusConnection_;
  std::function<bool(QPoint)> isInside_;
  std::function<void()> onOutsideClick_;
  QMetaObject::Connection stateConnection_;
};

}  // namespace tavrel
