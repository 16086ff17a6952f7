#pragma once

#include <QQuickWindow>
#include <QRegion>
#include <functional>

namespace tavrel {

// The island's window: frameless, above other windows, out of the task bar. It takes the keyboard
// focus only while its controller allows it, and turns Escape into a callback. Presses reach it only
// inside its input region; the rest of the window is drawn but lets presses through.
//
// IMPORTANT: Thread-safety. Main thread only.
class NotchPanel final : public QQuickWindow {
  Q_OBJECT

 public:
  explicit NotchPanel(QWindow* parent = nullptr);

  bool allowsKeyWindow() const { return allowsKeyWindow_; }
  void setAllowsKeyWindow(bool allows);
  std::function<void()> onEscape;

  const QRegion& inputRegion() const { return inputRegion_; }
  void setInputRegion(const QRegion& region);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void applyInputRegion();

  bool allowsKeyWindow_ = false;
  QRegion inputRegion_;
};

}  // namespace tavrel
