// Reading the screen on X11: a 400×400 region and the whole screen, through shared
// memory against plain GetImage (the baseline) on the same display, in the same run.
// Median and p95 over the iterations, in ms. Needs an X display (Xvfb will do).
#include "Platform/X11/X11ScreenCapture.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <vector>

namespace {

void report(benchmark::State& state, std::vector<double> ms)
{
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
}

// range(0): 0 a 400×400 region, 1 the whole screen; range(1): 1 shared memory, 0 plain.
void BM_X11Capture(benchmark::State& state)
{
    static X11ScreenCapture capture;
    capture.setSharedMemory(state.range(1) == 1);
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto image = state.range(0) == 0 ? capture.capture(QRectF(200, 150, 400, 400)) : capture.captureScreen();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (!image.hasValue()) {
            state.SkipWithError(image.error().description().toStdString().c_str());
            return;
        }
        benchmark::DoNotOptimize(image);
    }
    state.SetLabel(capture.mechanism().toStdString());
    report(state, std::move(ms));
}
BENCHMARK(BM_X11Capture)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"screen", "shm"})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
