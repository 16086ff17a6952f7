#pragma once

class QGuiApplication;
class QSessionManager;

namespace tavrel::desktop {

// The program comes back after a logout through Open at Login, which the user chooses, never through
// a saved session: Qt's X11 platform registers every program with the session manager for restart,
// and a restored session would start it even with Open at Login off (and twice with it on).

// Tells the session manager not to keep the program in the session it saves.
void declineSessionRestart(QSessionManager& manager);

// Answers each commit-data and save-state request of the application's session manager with
// declineSessionRestart(), from now on. Call once, right after the application object exists.
void keepOutOfSavedSessions(QGuiApplication& application);

}  // namespace tavrel::desktop
