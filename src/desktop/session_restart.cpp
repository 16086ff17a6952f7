#include "desktop/session_restart.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace tavrel::desktop {

void declineSessionRestart(QSessionManager& manager) { manager.setRestartHint(QSessionManager::RestartNever); }

void keepOutOfSavedSessions(QGuiApplication& application) {
  // Both requests: a logout asks to commit data first, a checkpoint only to save state, and the hint
  // goes to the session manager with the properties after either.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, &application, &declineSessionRestart);
  QObject::connect(&application, &QGuiApplication::saveStateRequest, &application, &declineSessionRestart);
}

}  // namespace tavrel::desktop
