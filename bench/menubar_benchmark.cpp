// The menu bar's costs, measured with the real controller, popover window and stores on fakes:
//   - time from a tray click to the popover's first frame, warm (median of 20);
//   - CPU time and tasks run by our main queue over 5 s with the popover closed and nothing running;
//   - CPU use with the popover open following an upload at ten progress reports a second (5 s);
//   - the process's resident memory with the popover open.
// Runs on whatever display Qt is given (offscreen by default).
//
//   QT_QUICK_BACKEND=software tavrel_bench_menubar

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickWindow>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_test_fixture.h"
#include "ui/interface_setup.h"
#include "ui/qt_main_queue.h"

namespace {

using namespace tavrel;

class Stores final : public tavrel::testing::MenuBarStoresTest {
  void TestBody() override {}
};

// The program's queue, counting what runs on it.
class CountingQueue final : public platform::MainQueue {
 public:
  void post(platform::Task task) override {
    inner_.post([this, task = std::move(task)] {
      ++ran;
      task();
    });
  }
  platform::DelayedTask postDelayed(platform::Duration delay, platform::Task task) override {
    return inner_.postDelayed(delay, [this, task = std::move(task)] {
      ++ran;
      task();
    });
  }
  const platform::Clock& clock() const override { return inner_.clock(); }
  std::atomic<long> ran{0};

 private:
  ui::QtMainQueue inner_;
};

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Runs the event loop, sleeping while nothing happens.
void runFor(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

QQuickWindow* popoverWindow() {
  for (auto* window : QGuiApplication::topLevelWindows()) {
    if (auto* quick = qobject_cast<QQuickWindow*>(window)) return quick;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
  QApplication application(argc, argv);
  ui::applyInterfaceDefaults();

  Stores stores;
  stores.signIn();
  stores.loadRecent({tavrel::testing::MenuBarStoresTest::recentTransfer("a", "Report.pdf"),
                     tavrel::testing::MenuBarStoresTest::recentTransfer("b", "Photos", 12)});
  CountingQueue queue;
  MenuBarController controller(*stores.store, *stores.recent, *stores.authentication, stores.settings,
                               stores.recorded.actions(), queue);
  runFor(200);

  // Warm: the window and its scene exist after the first opening.
  controller.togglePopover();
  runFor(300);
  controller.togglePopover();
  runFor(100);
  auto* window = popoverWindow();
  if (!window) {
    std::fprintf(stderr, "no popover window\n");
    return 1;
  }
  std::vector<double> firstFrames;
  for (int run = 0; run < 20; ++run) {
    bool swapped = false;
    const auto connection = QObject::connect(window, &QQuickWindow::frameSwapped, [&] { swapped = true; });
    QElapsedTimer timer;
    timer.start();
    controller.togglePopover();
    QEventLoop frame;
    QObject::connect(window, &QQuickWindow::frameSwapped, &frame, &QEventLoop::quit);
    QTimer::singleShot(2000, &frame, &QEventLoop::quit);
    if (!swapped) frame.exec();
    firstFrames.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    QObject::disconnect(connection);
    runFor(50);
    controller.togglePopover();
    runFor(50);
  }
  std::sort(firstFrames.begin(), firstFrames.end());
  std::printf("tray click to first popover frame, warm: median %.2f ms (min %.2f, max %.2f)\n", firstFrames[10],
              firstFrames.front(), firstFrames.back());

  // Idle with the popover closed.
  runFor(500);
  const auto idleTasks = queue.ran.load();
  const auto idleCPU = cpuSeconds();
  runFor(5000);
  std::printf("idle 5 s, popover closed: %.1f ms CPU, %ld main-queue tasks run\n", (cpuSeconds() - idleCPU) * 1000,
              queue.ran.load() - idleTasks);

  // An upload at ten reports a second, popover open.
  stores.startUploading("movie.mov");
  controller.togglePopover();
  runFor(300);
  double fraction = 0;
  QTimer reports;
  QObject::connect(&reports, &QTimer::timeout, [&] {
    fraction = std::min(fraction + 0.002, 0.99);
    stores.engine->progress(fraction);
    stores.settle();
  });
  reports.start(100);
  const auto uploadCPU = cpuSeconds();
  runFor(5000);
  reports.stop();
  std::printf("popover open following an upload at 10 reports/s: %.1f %% of one core\n",
              (cpuSeconds() - uploadCPU) / 5.0 * 100);
  std::printf("resident memory with the popover open: %.1f MiB\n", static_cast<double>(residentKiB()) / 1024);
  controller.invalidate();
  return 0;
}
