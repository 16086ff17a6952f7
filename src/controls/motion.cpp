#include "controls/motion.h"

#include <QQmlEngine>
#include <cmath>

namespace tavrel {

Motion* Motion::shared() {
  static Motion* instance = new Motion;  // lives as long as the process; engines never own it
  return instance;
}

Motion* Motion::create(QQmlEngine*, QJSEngine*) {
  Motion* instance = shared();
  QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
  return instance;
}

void Motion::setReduceMotion(bool reduceMotion) {
  if (reduceMotion_ == reduceMotion) return;
  reduceMotion_ = reduceMotion;
  emit reduceMotionChanged();
}

int Motion::duration(double seconds) const {
  if (reduceMotion_ || !std::isfinite(seconds) || seconds <= 0) return 0;
  return static_cast<int>(std::lround(seconds * 1000));
}

}  // namespace tavrel
