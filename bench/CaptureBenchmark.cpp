// Capture costs: the work the tap thread does per event (translate, parse, hand over),
// and, under an X display, a 10-second stream of 5,000 synthetic events per second
// recorded through the real tap: how many arrive, in order, and how true their times are.
#include "Platform/Fake/FakeInputTap.h"
#include "Platform/Fake/FakeWorkspace.h"
#include "Platform/SystemClock.h"
#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/X11/X11EventTranslator.h"
#include "Platform/X11/X11InputTap.h"
#include "Services/EventMonitor/EventParser.h"
#include "Services/RecorderService.h"

#include <QCoreApplication>
#include <QThread>
#include "QtBenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <time.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

// Counts heap allocations, to show that parsing makes none.
static std::atomic<long> g_allocations{0};
void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
};

Percentiles percentiles(std::vector<double> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[std::min(samples.size() - 1, std::size_t(q * double(samples.size())))]; };
    return {at(0.50), at(0.99), samples.back()};
}

// A realistic mix in X terms: mostly motion, then keys, clicks, wheel steps.
struct XSample {
    int type, detail;
    unsigned state;
    int x, y;
};

std::vector<XSample> eventMix(std::size_t count)
{
    std::vector<XSample> events;
    events.reserve(count);
    std::uint32_t r = 12345;
    int x = 400, y = 300;
    for (std::size_t i = 0; i < count; ++i) {
        r = r * 1664525u + 1013904223u;
        const unsigned pick = (r >> 16) % 100;
        x = std::clamp(x + int((r >> 8) % 7) - 3, 0, 1279);
        y = std::clamp(y + int((r >> 12) % 7) - 3, 0, 799);
        if (pick < 70)
            events.push_back({X11EventTranslator::xMotionNotify, 0, pick < 10 ? 0x100u : 0u, x, y});
        else if (pick < 90)
            events.push_back({pick % 2 ? X11EventTranslator::xKeyPress : X11EventTranslator::xKeyRelease,
                              int(24 + pick % 30), pick % 3 ? 0u : 1u, x, y});
        else if (pick < 97)
            events.push_back({pick % 2 ? X11EventTranslator::xButtonPress : X11EventTranslator::xButtonRelease,
                              1, 0, x, y});
        else
            events.push_back({X11EventTranslator::xButtonPress, 4 + int(pick % 2), 0, x, y});
    }
    return events;
}

void BM_TapThreadPerEvent(benchmark::State& state)
{
    FakeInputTap tap;
    FakeWorkspace workspace;
    const SystemClock& clock = SystemClock::instance();
    RecorderService recorder(tap, workspace, clock);
    const std::vector<XSample> mix = eventMix(9000); // stays under the 10,000-action cap
    std::vector<double> samples;
    samples.reserve(mix.size() * 50);
    for (auto _ : state) {
        recorder.startRecording();
        // The tap thread translates and hands over while the main thread takes batches.
        std::atomic<bool> done{false};
        QThread* tapThread = QThread::create([&] {
            for (const XSample& e : mix) {
                const auto begin = std::chrono::steady_clock::now();
                RawInputEvent event = X11EventTranslator::translate(e.type, e.detail, e.state, e.x, e.y);
                event.time = clock.now();
                tap.deliver(event);
                const auto end = std::chrono::steady_clock::now();
                samples.push_back(std::chrono::duration<double, std::micro>(end - begin).count());
            }
            done = true;
        });
        tapThread->start();
        while (!done)
            QCoreApplication::processEvents();
        tapThread->wait();
        delete tapThread;
        recorder.stopRecording();
    }
    const Percentiles p = percentiles(samples);
    state.counters["p50_us"] = p.p50;
    state.counters["p99_us"] = p.p99;
    state.counters["max_us"] = p.max;
    state.counters["events"] = double(samples.size());
}

void BM_ParseAllocations(benchmark::State& state)
{
    const std::vector<XSample> mix = eventMix(100000);
    std::vector<RawInputEvent> events;
    for (std::size_t i = 0; i < mix.size(); ++i) {
        RawInputEvent e = X11EventTranslator::translate(mix[i].type, mix[i].detail, mix[i].state, mix[i].x, mix[i].y);
        e.time = 100 + double(i) * 0.002;
        events.push_back(e);
    }
    EventParser parser;
    long allocations = 0;
    std::size_t produced = 0;
    for (auto _ : state) {
        parser.reset();
        const long before = g_allocations.load();
        for (const RawInputEvent& e : events)
            produced += parser.parse(e, 100).has_value() ? 1 : 0;
        allocations += g_allocations.load() - before;
    }
    benchmark::DoNotOptimize(produced);
    state.counters["allocations"] = double(allocations);
    state.SetItemsProcessed(std::int64_t(state.iterations() * events.size()));
}

// 5,000 key events per second for 10 s, injected with XTEST at exact instants from
// another connection, recorded through the real tap and the parser.
void BM_X11TapStream(benchmark::State& state)
{
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    constexpr int kRate = 5000;
    constexpr int kSeconds = 10;
    constexpr int kEvents = kRate * kSeconds;
    const SystemClock& clock = SystemClock::instance();
    for (auto _ : state) {
        Display* injector = XOpenDisplay(nullptr);
        X11InputTap tap(clock);
        EventParser parser;
        std::vector<MacroAction> recorded;
        recorded.reserve(kEvents);
        const double base = clock.now();
        QString error;
        if (!tap.start([&](const RawInputEvent& e) {
                if (auto a = parser.parse(e, base))
                    recorded.push_back(*a);
            }, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        // Keycodes 24..33 (q..p) in turn, press then release: order is checkable.
        std::vector<double> injected(kEvents);
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        for (int i = 0; i < kEvents; ++i) {
            next.tv_nsec += 1'000'000'000 / kRate;
            if (next.tv_nsec >= 1'000'000'000) {
                next.tv_nsec -= 1'000'000'000;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            XTestFakeKeyEvent(injector, unsigned(24 + (i / 2) % 10), i % 2 == 0, CurrentTime);
            XFlush(injector);
            injected[std::size_t(i)] = clock.now();
        }
        XSync(injector, False);
        tap.stop();
        XCloseDisplay(injector);

        int outOfOrder = 0;
        std::vector<double> gapErrorsMs;
        const std::size_t n = std::min<std::size_t>(recorded.size(), kEvents);
        for (std::size_t i = 0; i < n; ++i) {
            const bool down = recorded[i].type() == ActionType::keyDown;
            const auto code = down ? std::get<MacroAction::KeyDown>(recorded[i].payload).keyCode
                                   : std::get<MacroAction::KeyUp>(recorded[i].payload).keyCode;
            const int x = 24 + int(i / 2) % 10;
            if (down != (i % 2 == 0) || code != KeyCodeMap::macFromEvdev(x - KeyCodeMap::xKeycodeOffset))
                ++outOfOrder;
            if (i > 0) {
                const double recordedGap = recorded[i].timestamp - recorded[i - 1].timestamp;
                const double injectedGap = injected[i] - injected[i - 1];
                gapErrorsMs.push_back(std::abs(recordedGap - injectedGap) * 1000);
            }
        }
        const Percentiles p = percentiles(gapErrorsMs);
        state.counters["injected"] = kEvents;
        state.counters["recorded"] = double(recorded.size());
        state.counters["lost"] = double(kEvents) - double(recorded.size());
        state.counters["out_of_order"] = outOfOrder;
        state.counters["gap_err_p50_ms"] = p.p50;
        state.counters["gap_err_p99_ms"] = p.p99;
        state.counters["gap_err_max_ms"] = p.max;
        state.counters["within_2ms_pct"] =
            100.0 * double(std::count_if(gapErrorsMs.begin(), gapErrorsMs.end(), [](double e) { return e <= 2.0; })) /
            double(std::max<std::size_t>(1, gapErrorsMs.size()));
    }
}

} // namespace

BENCHMARK(BM_TapThreadPerEvent)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_ParseAllocations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_X11TapStream)->Unit(benchmark::kMillisecond)->Iterations(1);

QUILLO_QT_BENCHMARK_MAIN()
