// The status icon's cost: frames per second of the renderer while preparing (the turning arc) and
// while uploading (the progress ring), each as the tray gets it (the 1x and 2x images in one icon),
// and the share of one processor core that redrawing ten times a second takes.
//
//   tavrel_bench_status_icon [Google Benchmark flags]

#include <benchmark/benchmark.h>
#include <time.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QTimer>

#include "menubar/status_icon/menu_bar_status_icon_renderer.h"

namespace {

using tavrel::MenuBarStatusIconRenderer;
using tavrel::MenuBarTransferIndicator;
namespace indicator = tavrel::menu_bar_indicator;

QImage benchmarkMark() { return MenuBarStatusIconRenderer::programMark(); }

double processSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void reportFrames(benchmark::State& state) {
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  // At ten frames a second: 10 x the time of one frame, as a share of one core.
  state.counters["core_share_at_10fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 10.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_PreparingImage(benchmark::State& state) {
  const MenuBarStatusIconRenderer renderer(benchmarkMark());
  const qreal scale = static_cast<qreal>(state.range(0));
  int frame = 0;
  for (auto _ : state) {
    auto image = renderer.image(indicator::Preparing{}, frame++, false, scale);
    benchmark::DoNotOptimize(image.constBits());
  }
  reportFrames(state);
}
BENCHMARK(BM_PreparingImage)->Arg(1)->Arg(2);

void BM_UploadingImage(benchmark::State& state) {
  const MenuBarStatusIconRenderer renderer(benchmarkMark());
  const qreal scale = static_cast<qreal>(state.range(0));
  int percentage = 0;
  for (auto _ : state) {
    auto image = renderer.image(indicator::uploading(percentage), 0, false, scale);
    percentage = (percentage + 1) % 101;
    benchmark::DoNotOptimize(image.constBits());
  }
  reportFrames(state);
}
BENCHMARK(BM_UploadingImage)->Arg(1)->Arg(2);

// What the tray is handed on each tick: one icon holding both scales.
void BM_TrayIcon(benchmark::State& state) {
  const MenuBarStatusIconRenderer renderer(benchmarkMark());
  const MenuBarTransferIndicator which =
      state.range(0) == 0 ? MenuBarTransferIndicator(indicator::Preparing{}) : indicator::uploading(63);
  int frame = 0;
  for (auto _ : state) {
    auto icon = renderer.icon(which, frame++, false);
    benchmark::DoNotOptimize(icon.cacheKey());
  }
  state.SetLabel(state.range(0) == 0 ? "preparing" : "uploading");
  reportFrames(state);
}
BENCHMARK(BM_TrayIcon)->Arg(0)->Arg(1);

// The real thing on the clock: a 100 ms timer on the Qt event loop makes the tray icon for the
// next frame, for three seconds; the process's processor time over the wall time is the share.
void BM_TenPerSecondRedraw(benchmark::State& state) {
  const MenuBarStatusIconRenderer renderer(benchmarkMark());
  for (auto _ : state) {
    int frame = 0;
    QIcon current;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { current = renderer.icon(indicator::Preparing{}, frame++, false); });
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    const double cpuStart = processSeconds();
    wall.start();
    timer.start(100);
    loop.exec();
    const double cpu = processSeconds() - cpuStart;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    state.SetIterationTime(elapsed);
    state.counters["frames"] = frame;
    state.counters["core_share"] = cpu / elapsed;
  }
}
BENCHMARK(BM_TenPerSecondRedraw)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
