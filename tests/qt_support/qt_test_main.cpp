// The main of every Qt GoogleTest program: one offscreen application object for all cases.
#include <gmock/gmock.h>

#include <QApplication>
#include <QLocale>

#include "qt_support/qt_test_environment.h"
#include "ui/interface_setup.h"
#include "ui/translations.h"

int main(int argc, char** argv) {
  tavrel::testing::prepareQtTestEnvironment();
  QApplication application(argc, argv);
  tavrel::ui::applyInterfaceDefaults();
  // The English catalogue, as the program loads it: it carries the English plural forms.
  tavrel::ui::installTranslations(application, QLocale(QLocale::English, QLocale::UnitedStates));
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
