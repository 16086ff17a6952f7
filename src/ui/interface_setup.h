#pragma once

class QProcessEnvironment;
class QQmlEngine;

namespace tavrel::ui {

// The interface's look that does not depend on the machine: the Inter typeface at the interface's
// 13-point body size where it is installed, the Basic controls style (our controls draw
// themselves), and Qt Quick's software renderer unless the environment names another. Call once the
// application object exists, before the first window.
void applyInterfaceDefaults();

// Whether the environment names a Qt Quick backend (QT_QUICK_BACKEND, its older name
// QMLSCENE_DEVICE, or a graphics API in QSG_RHI_BACKEND): the user's choice, kept over ours.
bool environmentChoosesSceneGraphBackend(const QProcessEnvironment& environment);

// Readies a QML engine for our views: the import path of the compiled-in modules and the image
// providers ("image://symbol/...", "image://asset/...", "image://thumbnail/..."). Every engine of the program, the previews and the tests goes
// through here, so a view never depends on who loads it.
void prepareEngine(QQmlEngine& engine);

}  // namespace tavrel::ui
