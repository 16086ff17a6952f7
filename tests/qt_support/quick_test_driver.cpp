#include "qt_support/quick_test_driver.h"

#include "controls/motion.h"

namespace tavrel::testing {

void QuickTestDriver::setReduceMotion(bool on) { Motion::shared()->setReduceMotion(on); }

QuickTestDriver& quickTestDriver() {
  static QuickTestDriver* driver = new QuickTestDriver;  // lives as long as the test program
  return *driver;
}

}  // namespace tavrel::testing
