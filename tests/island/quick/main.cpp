#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>

#include "controls/motion.h"
#include "island/island_scene.h"
#include "qt_support/quick_test_driver.h"

namespace {

class Setup : public tavrel::testing::QuickTestSetup {
 protected:
  void engineReady(QQmlEngine& engine) override {
    // Each test file starts from fresh stores.
    scenes_.push_back(std::make_unique<tavrel::testing::island::IslandScene>());
    scenes_.back()->makeController(engine);
    engine.rootContext()->setContextProperty(QStringLiteral("scene"), scenes_.back().get());
  }
  // The scenes hold windows.
  void cleanUp() override { scenes_.clear(); }

 private:
  std::vector<std::unique_ptr<tavrel::testing::island::IslandScene>> scenes_;
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_IslandPlugin)

QUICK_TEST_MAIN_WITH_SETUP(island, Setup)
