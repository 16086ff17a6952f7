#include "qt_support/quick_test_driver.h"

#include <QQmlContext>
#include <QQmlEngine>

#include "controls/motion.h"
#include "qt_support/qt_test_environment.h"

namespace tavrel::testing {

void QuickTestDriver::setReduceMotion(bool on) { Motion::shared()->setReduceMotion(on); }

QuickTestDriver& quickTestDriver() {
  static QuickTestDriver* driver = new QuickTestDriver;  // lives as long as the test program
  return *driver;
}

QuickTestSetup::QuickTestSetup() { prepareQtTestEnvironment(); }

void QuickTestSetup::qmlEngineAvailable(QQmlEngine* engine) {
  prepareQuickTestEngine(*engine);
  engine->rootContext()->setContextProperty(QStringLiteral("driver"), &quickTestDriver());
  engineReady(*engine);
}

}  // namespace tavrel::testing
