// The program's answer to the session manager, on the application's own session manager object.
#include "desktop/session_restart.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QSessionManager>

namespace tavrel::desktop {
namespace {

TEST(SessionRestartTest, EveryRequestOfTheSessionManagerIsAnsweredWithRestartNever) {
  auto* manager = qApp->findChild<QSessionManager*>();
  ASSERT_NE(manager, nullptr);
  keepOutOfSavedSessions(*qGuiApp);

  // What Qt hands the session manager when nobody answers.
  manager->setRestartHint(QSessionManager::RestartIfRunning);
  emit qGuiApp->commitDataRequest(*manager);
  EXPECT_EQ(manager->restartHint(), QSessionManager::RestartNever);

  // A checkpoint asks to save state only.
  manager->setRestartHint(QSessionManager::RestartIfRunning);
  emit qGuiApp->saveStateRequest(*manager);
  EXPECT_EQ(manager->restartHint(), QSessionManager::RestartNever);
}

}  // namespace
}  // namespace tavrel::desktop
