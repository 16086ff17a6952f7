// The thread-checking run halts on a race in our code even when a library built without the
// checker is on the way: here Qt's event loop, which runs every task of the program's main thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace tavrel {
namespace {

#if defined(__SANITIZE_THREAD__)
constexpr bool checkingThreads = true;
#else
constexpr bool checkingThreads = false;
#endif

int unguarded = 0;

// Two writes with nothing ordering them: one on a thread of ours, one in a task Qt's event loop runs.
[[noreturn]] void raceUnderQtsEventLoop() {
  std::thread writer([] { unguarded = 1; });
  std::atomic<bool> ran = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&ran] {
        unguarded = 2;
        ran = true;
      },
      Qt::QueuedConnection);
  while (!ran) QCoreApplication::processEvents();
  writer.join();
  // Read, so the writes stay. Without halt_on_error the checker still turns a reported race into
  // its exit status here.
  std::exit(unguarded > 0 ? 0 : 1);
}

TEST(RaceReportingTest, ARaceOfOursInATaskOfQtsEventLoopHaltsTheThreadCheck) {
  if (!checkingThreads) GTEST_SKIP() << "built without ThreadSanitizer";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // 66: the checker's exit status when it reported something.
  EXPECT_EXIT(raceUnderQtsEventLoop(), ::testing::ExitedWithCode(66), "ThreadSanitizer: data race");
}

}  // namespace
}  // namespace tavrel
