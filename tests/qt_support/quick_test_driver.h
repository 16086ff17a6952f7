#pragma once

#include <QObject>
#include <chrono>
#include <memory>

#include "ui/virtual_animation_driver.h"

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

}  // namespace tavrel::testing
