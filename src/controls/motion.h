#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace tavrel {

// Whether the interface animates. One object for the whole process, shared by every engine: the
// program feeds it from the desktop's reduce-motion setting, tests set it directly. While
// `reduceMotion` is on, every animation of the views becomes an immediate change.
//
// Lives on the main thread.
class Motion final : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(bool reduceMotion READ reduceMotion WRITE setReduceMotion NOTIFY reduceMotionChanged)

 public:
  static Motion* shared();
  static Motion* create(QQmlEngine*, QJSEngine*);

  bool reduceMotion() const { return reduceMotion_; }
  void setReduceMotion(bool reduceMotion);

  // An animation's length in milliseconds: `seconds` as given, or 0 under reduce motion.
  Q_INVOKABLE int duration(double seconds) const;

 signals:
  void reduceMotionChanged();

 private:
  Motion() = default;
  bool reduceMotion_ = false;
};

}  // namespace tavrel
