#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include "controls/motion.h"
#include "qt_support/qt_test_environment.h"
#include "ui/virtual_animation_driver.h"

namespace {

// Exposed to the tests as `driver`: moves animations on virtual time, and sets reduce motion.
class TestDriver : public QObject {
  Q_OBJECT
 public:
  // Installed once the application exists, before any view animates.
  void install() { animation_ = std::make_unique<tavrel::ui::VirtualAnimationDriver>(); }
  Q_INVOKABLE void advance(int milliseconds) { animation_->advance(std::chrono::milliseconds(milliseconds)); }
  Q_INVOKABLE void setReduceMotion(bool on) { tavrel::Motion::shared()->setReduceMotion(on); }

 private:
  std::unique_ptr<tavrel::ui::VirtualAnimationDriver> animation_;
};

class Setup : public QObject {
  Q_OBJECT
 public:
  Setup() {
    tavrel::testing::prepareQtTestEnvironment();
  }

 public slots:
  void qmlEngineAvailable(QQmlEngine* engine) {
    tavrel::testing::prepareQuickTestEngine(*engine);
    if (!installed_) driver_.install();
    installed_ = true;
    engine->rootContext()->setContextProperty(QStringLiteral("driver"), &driver_);
  }

 private:
  TestDriver driver_;
  bool installed_ = false;
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)

QUICK_TEST_MAIN_WITH_SETUP(controls, Setup)

#include "main.moc"
