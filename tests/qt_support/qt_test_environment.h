#pragma once

class QQmlEngine;

namespace tavrel::testing {

// Sets the environment every Qt test runs in: offscreen, the software renderer, the Basic controls
// style, no QML disk cache. Call before the application object exists. A variable that is already
// set is kept, so a test run under Xvfb can ask for the xcb platform.
void prepareQtTestEnvironment();

// Readies a Quick Test's engine the way the program readies its own (import path, image providers,
// the English catalogue).
void prepareQuickTestEngine(QQmlEngine& engine);

}  // namespace tavrel::testing
