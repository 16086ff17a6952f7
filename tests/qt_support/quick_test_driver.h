#pragma once

#include <QObject>
#include <chrono>
#include <memory>

#include "ui/virtual_animation_driver.h"

class QQmlEngine;

namespace tavrel::testing {

// What a Quick Test reaches as `driver`: moves the views' animations on virtual time, and switches
// reduce motion.
class QuickTestDriver final : public QObject {
  Q_OBJECT

 public:
  Q_INVOKABLE void advance(int milliseconds) { animation_->advance(std::chrono::milliseconds(milliseconds)); }
  Q_INVOKABLE void setReduceMotion(bool on);

 private:
  friend QuickTestDriver& quickTestDriver();
  QuickTestDriver() : animation_(std::make_unique<ui::VirtualAnimationDriver>()) {}

  std::unique_ptr<ui::VirtualAnimationDriver> animation_;
};

// The process's one driver, made (and its animation driver installed) on first use: call it from
// qmlEngineAvailable, before any view animates.
QuickTestDriver& quickTestDriver();

// The setup object of every Quick Test program (QUICK_TEST_MAIN_WITH_SETUP): the offscreen
// environment before the application exists, and each test file's engine readied as the program
// readies its own, with `driver` in its context. A suite adds its own context in `engineReady` and
// lets go of what holds windows in `cleanUp`, while the application still exists.
class QuickTestSetup : public QObject {
  Q_OBJECT

 public:
  QuickTestSetup();

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine);
  void cleanupTestCase() { cleanUp(); }

 protected:
  virtual void engineReady(QQmlEngine&) {}
  virtual void cleanUp() {}
};

}  // namespace tavrel::testing
