#pragma once

#include <QObject>
#include <QVariantList>
#include <chrono>
#include <memory>

#include "ui/virtual_animation_driver.h"

class QQmlEngine;
class QQuickItem;

namespace tavrel::testing {

// What a Quick Test reaches as `driver`: moves the views' animations on virtual time, and switches
// reduce motion.
class QuickTestDriver final : public QObject {
  Q_OBJECT

 public:
  Q_INVOKABLE void advance(int milliseconds) { animation_->advance(std::chrono::milliseconds(milliseconds)); }
  Q_INVOKABLE void setReduceMotion(bool on);
  // What assistive technology is handed for `item` (its window when `item` has no element of its
  // own) and everything under it, depth first: one map per element with its role (the
  // QAccessible::Role name), name, depth, child count, whether it is shown, and for progress
  // elements its value, minimum and maximum.
  Q_INVOKABLE QVariantList accessibleTree(QQuickItem* item) const;
  // The texts shown under `item` that assistive technology does not hear: a shown text is heard
  // when its nearest element is a control (which speaks for what it draws), or names or describes
  // it (letter case and a trailing ellipsis or full stop aside).
  Q_INVOKABLE QStringList unheardTexts(QQuickItem* item) const;
  // The actions `item`'s element offers, and one of them run by name ("Press", "Toggle") as
  // assistive technology runs it: AT-SPI's DoAction lands on this same interface. False when the
  // element does not offer the action.
  Q_INVOKABLE QStringList accessibleActions(QQuickItem* item) const;
  Q_INVOKABLE bool doAccessibleAction(QQuickItem* item, const QString& action) const;

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
