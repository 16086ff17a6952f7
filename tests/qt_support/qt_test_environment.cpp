#include "qt_support/qt_test_environment.h"

#include <QByteArray>
#include <QQmlEngine>

#include "ui/interface_setup.h"

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

void prepareQuickTestEngine(QQmlEngine& engine) { ui::prepareEngine(engine); }

}  // namespace tavrel::testing
