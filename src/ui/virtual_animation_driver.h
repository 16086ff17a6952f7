#pragma once

#include <QAnimationDriver>
#include <chrono>

namespace tavrel::ui {

// Puts Qt Quick animations (and QPropertyAnimation) on virtual time: while installed, animations
// move only when advance() is called, by exactly the time given. Tests and previews use it so that
// no view test sleeps and a grab shows the settled frame, not an in-between one.
//
// Main thread only. Make it after the application object exists and before the views animate;
// it uninstalls itself when destroyed.
class VirtualAnimationDriver final : public QAnimationDriver {
 public:
  VirtualAnimationDriver();
  ~VirtualAnimationDriver() override;

  // Moves virtual time on in steps of at most one frame (16 ms), ticking the animations each step.
  // Time that passes while nothing animates moves nothing: an animation started at any point runs
  // its whole duration from there.
  void advance(std::chrono::milliseconds by);
  qint64 elapsed() const override { return elapsed_; }

 protected:
  // Qt's animation timer reads elapsed() as the time since the driver started, so each start counts
  // from zero again.
  void start() override;

 private:
  qint64 elapsed_ = 0;
};

}  // namespace tavrel::ui
