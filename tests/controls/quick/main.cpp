#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include "controls/motion.h"
#include "qt_support/quick_test_driver.h"

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)

QUICK_TEST_MAIN_WITH_SETUP(controls, tavrel::testing::QuickTestSetup)
