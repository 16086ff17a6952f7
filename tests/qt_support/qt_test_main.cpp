// The main of every Qt GoogleTest program: one offscreen application object for all cases.
#include <gmock/gmock.h>

#include <QApplication>

#include "qt_support/qt_test_environment.h"
#include "ui/interface_setup.h"

int main(int argc, char** argv) {
  tavrel::testing::prepareQtTestEnvironment();
  QApplication application(argc, argv);
  tavrel::ui::applyInterfaceDefaults();
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
