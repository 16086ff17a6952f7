#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>

#include "controls/motion.h"
#include "island/island_scene.h"
#include "qt_support/qt_test_environment.h"
#include "qt_support/quick_test_driver.h"

namespace {

class Setup : public QObject {
  Q_OBJECT
 public:
  Setup() { tavrel::testing::prepareQtTestEnvironment(); }

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine) {
    tavrel::testing::prepareQuickTestEngine(*engine);
    engine->rootContext()->setContextProperty(QStringLiteral("driver"), &tavrel::testing::quickTestDriver());
    // Each test file starts from fresh stores.
    scenes_.push_back(std::make_unique<tavrel::testing::island::IslandScene>());
    scenes_.back()->makeController(*engine);
    engine->rootContext()->setContextProperty(QStringLiteral("scene"), scenes_.back().get());
  }
  // The scenes hold windows: they go while the application still exists.
  void cleanupTestCase() { scenes_.clear(); }

 private:
  std::vector<std::unique_ptr<tavrel::testing::island::IslandScene>> scenes_;
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_IslandPlugin)

QUICK_TEST_MAIN_WITH_SETUP(island, Setup)

#include "main.moc"
