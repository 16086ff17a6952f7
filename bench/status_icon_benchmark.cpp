// The status icon's cost: frames per second of the renderer while preparing (the turning arc) and
// while uploading (the progress ring), drawn from nothing and as the tray gets them (the 1x and 2x
// images in one icon), and the share of one processor core that redrawing ten times a second takes.
//
//   tavrel_bench_status_icon [Google Benchmark flags]

#include <benchmark/benchmark.h>
#include <time.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <cstdint>
#include <string>

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
  // Ten frames a second take ten times one frame's time: as a percentage of one core, 1000 x the
  // time of a frame in seconds.
  state.counters["core_percent_at_10fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 1000.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

MenuBarTransferIndicator indicatorFor(std::int64_t which) {
  return which == 0 ? MenuBarTransferIndicator(indicator::Preparing{}) : indicator::uploading(63);
}

// Drawing one frame from nothing: what each of the twelve preparing frames costs the first time it
// is shown, and what every new upload percentage costs.
void BM_DrawFrame(benchmark::State& state) {
  const MenuBarStatusIconRenderer renderer(benchmarkMark());
  const auto which = indicatorFor(state.range(0));
  const qreal scale = static_cast<qreal>(state.range(1));
  const int pixels = static_cast<int>(MenuBarStatusIconRenderer::kPointSize * scale);
  int frame = 0;
  for (auto _ : state) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      renderer.draw(painter, which, frame++, false);
    }
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetLabel(std::string(state.range(0) == 0 ? "preparing" : "uploading") + (scale == 1 ? " 1x" : " 2x"));
  reportFrames(state);
}
BENCHMARK(BM_DrawFrame)->ArgsProduct({{0, 1}, {1, 2}});

// What the tray is handed on each tick: one icon holding both scales, through `icon()` (preparing
// frames come from the renderer's images after their first turn; each upload percentage is new).
void BM_TrayIcon(benchmark::State& state) {
  const MenuBarStatusIconRenderer renderer(benchmarkMark());
  int frame = 0;
  int percentage = 0;
  for (auto _ : state) {
    const MenuBarTransferIndicator which = state.range(0) == 0
                                               ? MenuBarTransferIndicator(indicator::Preparing{})
                                               : indicator::uploading(percentage);
    percentage = (percentage + 1) % 101;
    auto icon = renderer.icon(which, frame++, false);
    benchmark::DoNotOptimize(icon.cacheKey());
  }
  state.SetLabel(state.range(0) == 0 ? "preparing" : "uploading");
  reportFrames(state);
}
BENCHMARK(BM_TrayIcon)->Arg(0)->Arg(1);

// On the clock: a 100 ms timer on the Qt event loop makes the next tray icon, for five seconds;
// the process's processor time (all threads) over the wall time is the share of one core. The
// same loop with a timer that draws nothing is the reference. Preparing frames are drawn once
// before the clock starts, as they are after the arc's first turn.
void BM_TenPerSecondRedraw(benchmark::State& state) {
  const MenuBarStatusIconRenderer renderer(benchmarkMark());
  const auto mode = state.range(0);  // 0 nothing drawn, 1 preparing, 2 uploading (a new percentage each tick)
  for (int frame = 0; frame < MenuBarStatusIconRenderer::kFrameCount; ++frame) {
    renderer.icon(indicator::Preparing{}, frame, false);
  }
  for (auto _ : state) {
    int frame = 0;
    QIcon current;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      ++frame;
      if (mode == 1) current = renderer.icon(indicator::Preparing{}, frame, false);
      if (mode == 2) current = renderer.icon(indicator::uploading(frame % 101), 0, false);
    });
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    QElapsedTimer wall;
    const double cpuStart = processSeconds();
    wall.start();
    timer.start(100);
    loop.exec();
    const double cpu = processSeconds() - cpuStart;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    state.SetIterationTime(elapsed);
    state.counters["frames"] = frame;
    state.counters["core_percent"] = 100 * cpu / elapsed;
  }
  state.SetLabel(mode == 0 ? "timer only" : mode == 1 ? "preparing" : "uploading");
}
BENCHMARK(BM_TenPerSecondRedraw)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

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
