#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include "controls/motion.h"
#include "qt_support/qt_test_environment.h"
#include "qt_support/quick_test_driver.h"

namespace {

class Setup : public QObject {
  Q_OBJECT
 public:
  Setup() {
    tavrel::testing::prepareQtTestEnvironment();
  }

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine) {
    tavrel::testing::prepareQuickTestEngine(*engine);
    engine->rootContext()->setContextProperty(QStringLiteral("driver"), &tavrel::testing::quickTestDriver());
  }

 private:
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)

QUICK_TEST_MAIN_WITH_SETUP(controls, Setup)

#include "main.moc"
