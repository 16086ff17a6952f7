#pragma once

#include <QQuickWindow>
#include <functional>

namespace tavrel {

// The island's window: frameless, above other windows, out of the task bar. It takes the keyboard
// focus only while its controller allows it, and turns Escape into a callback.
//
// IMPORTANT: Thread-safety. Main thread only.
class NotchPanel final : public QQuickWindow {
  Q_OBJECT

 public:
  explicit NotchPanel(QWindow* parent = nullptr);

  bool allowsKeyWindow() const { return allowsKeyWindow_; }
  void setAllowsKeyWindow(bool allows);
  std::function<void()> onEscape;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool allowsKeyWindow_ = false;
};

}  // namespace tavrel
