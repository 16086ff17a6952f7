#include "qt_support/qt_test_environment.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLocale>
#include <QQmlEngine>

#include "ui/interface_setup.h"
#include "ui/translations.h"

namespace tavrel::testing {

void prepareQtTestEnvironment() {
  const auto setDefault = [](const char* name, const char* value) {
    if (qEnvironmentVariableIsEmpty(name)) qputenv(name, QByteArray(value));
  };
  setDefault("QT_QPA_PLATFORM", "offscreen");
  setDefault("QT_QUICK_BACKEND", "software");
  setDefault("QT_QUICK_CONTROLS_STYLE", "Basic");
  setDefault("QML_DISABLE_DISK_CACHE", "1");
}

void prepareQuickTestEngine(QQmlEngine& engine) {
  ui::prepareEngine(engine);
  // The English catalogue, as the program loads it, once per process.
  static const bool installed = [] {
    ui::installTranslations(*QCoreApplication::instance(), QLocale(QLocale::English, QLocale::UnitedStates));
    return true;
  }();
  (void)installed;
}

}  // namespace tavrel::testing
