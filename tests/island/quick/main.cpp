#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>

#include "controls/motion.h"
#include "island/island_scene.h"
#include "qt_support/qt_test_environment.h"
#include "ui/virtual_animation_driver.h"

namespace {

// Exposed to the tests as `driver`: moves animations on virtual time, and sets reduce motion.
class TestDriver : public QObject {
  Q_OBJECT
 public:
  void install() { animation_ = std::make_unique<tavrel::ui::VirtualAnimationDriver>(); }
  Q_INVOKABLE void advance(int milliseconds) { animation_->advance(std::chrono::milliseconds(milliseconds)); }
  Q_INVOKABLE void setReduceMotion(bool on) { tavrel::Motion::shared()->setReduceMotion(on); }

 private:
  std::unique_ptr<tavrel::ui::VirtualAnimationDriver> animation_;
};

class Setup : public QObject {
  Q_OBJECT
 public:
  Setup() { tavrel::testing::prepareQtTestEnvironment(); }

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine) {
    tavrel::testing::prepareQuickTestEngine(*engine);
    if (!installed_) driver_.install();
    installed_ = true;
    engine->rootContext()->setContextProperty(QStringLiteral("driver"), &driver_);
    // Each test file starts from fresh stores.
    scenes_.push_back(std::make_unique<tavrel::testing::island::IslandScene>());
    scenes_.back()->makeController(*engine);
    engine->rootContext()->setContextProperty(QStringLiteral("scene"), scenes_.back().get());
  }
  // The scenes hold windows: they go while the application still exists.
  void cleanupTestCase() { scenes_.clear(); }

 private:
  TestDriver driver_;
  bool installed_ = false;
  std::vector<std::unique_ptr<tavrel::testing::island::IslandScene>> scenes_;
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_IslandPlugin)

QUICK_TEST_MAIN_WITH_SETUP(island, Setup)

#include "main.moc"
