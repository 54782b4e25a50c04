// Lateness of each posted event against its due instant, replaying 10,000 actions
// spaced 1 ms apart: into the fake poster and into the X11 poster, with the main thread
// free and with it stalled for 50 ms every 200 ms; and, as the baseline, the same
// replay driven by a millisecond QTimer on the main thread.
#include "Platform/Fake/FakeEventPoster.h"
#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Platform/X11/X11EventPoster.h"
#include "Services/PlaybackEngine.h"
#include "Services/PlaybackService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include "QtBenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kActions = 10'000;
constexpr double kFirstDue = 0.05;
constexpr double kSpacing = 0.001;

// Moves; or clicks where every other click is a Shift-click (Shift goes down and up
// every second click: the dearest case for the modifiers of mouse actions).
Macro benchMacro(bool modifierClicks = false)
{
    Macro m;
    m.id = QUuid::createUuid();
    for (int i = 0; i < kActions; ++i) {
        const double t = kFirstDue + kSpacing * i;
        if (!modifierClicks) {
            m.actions.push_back(MacroAction::mouseMove(t, 100 + (i % 2) * 3, 100));
            continue;
        }
        const std::uint64_t flags = (i / 2) % 2 == 0 ? ModifierFlags::shift : 0;
        m.actions.push_back(i % 2 == 0 ? MacroAction::mouseDown(t, 5, 5, MouseButton::left, flags)
                                       : MacroAction::mouseUp(t, 5, 5, MouseButton::left, flags));
    }
    return m;
}

// Wraps a poster and notes when each event went out.
class MeasuringPoster : public EventPoster
{
public:
    explicit MeasuringPoster(EventPoster& inner) : m_inner(inner) { m_postedAt.reserve(kActions); }
    void prepare() override { m_inner.prepare(); }
    bool post(const SyntheticEvent& e) override
    {
        const bool ok = m_inner.post(e);
        m_postedAt.push_back(SystemClock::instance().now());
        return ok;
    }
    bool activateApplication(const QString& id) override { return m_inner.activateApplication(id); }
    void releaseModifiers() override { m_inner.releaseModifiers(); }

    void setLoopStart(double t) { m_loopStart = t; }
    // Lateness of each post in µs against loop start + its action's timestamp.
    std::vector<double> lateness(const Macro& m) const
    {
        std::vector<double> result;
        for (std::size_t i = 0; i < m_postedAt.size() && i < m.actions.size(); ++i)
            result.push_back((m_postedAt[i] - (m_loopStart + m.actions[i].timestamp)) * 1e6);
        return result;
    }

private:
    EventPoster& m_inner;
    double m_loopStart = 0;
    std::vector<double> m_postedAt;
};

void report(benchmark::State& state, std::vector<double> late)
{
    if (late.size() != std::size_t(kActions)) {
        state.SkipWithError("not every action was posted");
        return;
    }
    const double first = late.front(), last = late.back();
    const auto early = std::count_if(late.begin(), late.end(), [](double l) { return l < 0; });
    std::sort(late.begin(), late.end());
    state.counters["p50_us"] = late[late.size() / 2];
    state.counters["p99_us"] = late[late.size() * 99 / 100];
    state.counters["max_us"] = late.back();
    state.counters["min_us"] = late.front();
    state.counters["early"] = double(early);
    state.counters["first_us"] = first;
    state.counters["last_us"] = last;
}

// Stalls the main thread for 50 ms every 200 ms while it lives.
class MainThreadStaller
{
public:
    explicit MainThreadStaller(bool enabled)
    {
        if (!enabled)
            return;
        m_timer.setInterval(200);
        QObject::connect(&m_timer, &QTimer::timeout, [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
        m_timer.start();
    }

private:
    QTimer m_timer;
};

void replayOnPlaybackThread(benchmark::State& state, EventPoster& poster, bool stalled, bool modifierClicks = false)
{
    const Macro macro = benchMacro(modifierClicks);
    for (auto _ : state) {
        MeasuringPoster measuring(poster);
        SystemSleeper sleeper;
        PlaybackService service(measuring, SystemClock::instance(), sleeper);
        MainThreadStaller staller(stalled);
        service.play(macro, {});
        while (service.isBusy()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (service.loopStartInstant() > 0)
                measuring.setLoopStart(service.loopStartInstant());
        }
        report(state, measuring.lateness(macro));
    }
}

// The baseline: a 1 ms precise QTimer on the main thread posts whatever is due.
void replayOnMainThreadTimer(benchmark::State& state, EventPoster& poster, bool stalled)
{
    const Macro macro = benchMacro();
    for (auto _ : state) {
        MeasuringPoster measuring(poster);
        MainThreadStaller staller(stalled);
        const SystemClock& clock = SystemClock::instance();
        measuring.prepare();
        const double loopStart = clock.now();
        measuring.setLoopStart(loopStart);
        std::size_t next = 0;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            while (next < macro.actions.size() && loopStart + macro.actions[next].timestamp <= clock.now())
                measuring.post(*PlaybackEngine::eventFor(macro.actions[next++]));
        });
        timer.start();
        while (next < macro.actions.size())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        report(state, measuring.lateness(macro));
    }
}

X11EventPoster* x11Poster(benchmark::State& state)
{
    static X11EventPoster* poster = std::getenv("DISPLAY") ? new X11EventPoster : nullptr;
    if (!poster || !poster->isConnected()) {
        state.SkipWithError("needs an X display with XTEST");
        return nullptr;
    }
    return poster;
}

void BM_PlaybackFake(benchmark::State& state)
{
    FakeEventPoster poster(SystemClock::instance());
    replayOnPlaybackThread(state, poster, false);
}
void BM_PlaybackFakeStalled(benchmark::State& state)
{
    FakeEventPoster poster(SystemClock::instance());
    replayOnPlaybackThread(state, poster, true);
}
void BM_PlaybackX11(benchmark::State& state)
{
    if (auto* poster = x11Poster(state))
        replayOnPlaybackThread(state, *poster, false);
}
void BM_PlaybackX11Stalled(benchmark::State& state)
{
    if (auto* poster = x11Poster(state))
        replayOnPlaybackThread(state, *poster, true);
}
void BM_PlaybackX11ModifierClicks(benchmark::State& state)
{
    if (auto* poster = x11Poster(state))
        replayOnPlaybackThread(state, *poster, false, true);
}
void BM_PlaybackQTimerFake(benchmark::State& state)
{
    FakeEventPoster poster(SystemClock::instance());
    replayOnMainThreadTimer(state, poster, false);
}
void BM_PlaybackQTimerFakeStalled(benchmark::State& state)
{
    FakeEventPoster poster(SystemClock::instance());
    replayOnMainThreadTimer(state, poster, true);
}

} // namespace

BENCHMARK(BM_PlaybackFake)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlaybackX11)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlaybackX11ModifierClicks)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlaybackFakeStalled)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlaybackX11Stalled)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlaybackQTimerFake)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlaybackQTimerFakeStalled)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

QUILLO_QT_BENCHMARK_MAIN()
