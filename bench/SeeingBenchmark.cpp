// The cost of seeing on X11 (needs an X display; Xvfb will do):
// - a 50-click macro against a window that keeps up, replayed waiting for the screen and
//   blind (the baseline): the replay's time, and the time added per click;
// - detection lag: from the moment a late button is drawn to Quillo's click on it;
// - recording: the time a press's picture takes (off the input thread) and its size in
//   the file.
#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Platform/X11/X11EventPoster.h"
#include "Platform/X11/X11ScreenCapture.h"
#include "Services/PlaybackEngine.h"
#include "Services/Screen/PressCamera.h"

#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <random>
#include <thread>

#include <X11/Xlib.h>

namespace {

struct Quiet : PlaybackEngine::Listener {
    void loopStarted(qint64, qint64, double) override {}
    void progressed(double) override {}
};

// When each press was posted.
class TimedPoster : public EventPoster
{
public:
    explicit TimedPoster(EventPoster& inner) : m_inner(inner) {}
    bool post(const SyntheticEvent& e) override
    {
        if (e.type == RawEventType::leftMouseDown)
            presses.push_back(std::chrono::steady_clock::now());
        return m_inner.post(e);
    }
    bool activateApplication(const QString& id) override { return m_inner.activateApplication(id); }
    void releaseModifiers() override { m_inner.releaseModifiers(); }
    std::vector<std::chrono::steady_clock::time_point> presses;

private:
    EventPoster& m_inner;
};

// A window full of distinct coloured blocks, drawn on a connection of its own; the
// block at (300, 300) in the window can be held back.
class Board
{
public:
    Board()
    {
        m_display = XOpenDisplay(nullptr);
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 800, 600, 0, 0, 0xffffff);
        XMapWindow(m_display, m_window);
        m_gc = XCreateGC(m_display, m_window, 0, nullptr);
        draw(true);
    }
    ~Board()
    {
        XFreeGC(m_display, m_gc);
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    void draw(bool withLateBlock)
    {
        std::mt19937 random(3);
        for (int y = 0; y < 600; y += 10)
            for (int x = 0; x < 800; x += 10) {
                XSetForeground(m_display, m_gc, random() & 0xffffff);
                XFillRectangle(m_display, m_window, m_gc, x, y, 10, 10);
            }
        if (!withLateBlock) {
            XSetForeground(m_display, m_gc, 0x808080);
            XFillRectangle(m_display, m_window, m_gc, 270, 270, 60, 60);
        }
        XSync(m_display, False);
    }
    QPoint origin()
    {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(m_display, m_window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
        return {x, y};
    }

private:
    Display* m_display = nullptr;
    Window m_window = 0;
    GC m_gc = nullptr;
};

// What a recording would keep for a press at `at` (the screen is still).
SightRef sightAt(X11ScreenCapture& screen, QPointF at)
{
    PressCamera camera(screen, SystemClock::instance());
    return camera.sightFor(1e9, at.x(), at.y(), QStringLiteral("Board"));
}

// range(0): 1 waiting for the screen, 0 blind.
void BM_FiftyClicks(benchmark::State& state)
{
    static Board board;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    X11ScreenCapture screen;
    X11EventPoster poster;
    SystemSleeper sleeper;
    PlaybackEngine engine(SystemClock::instance(), sleeper, poster);
    engine.setScreenCapture(&screen);
    Macro macro;
    const QPoint origin = board.origin();
    for (int i = 0; i < 50; ++i) {
        const QPointF at(origin.x() + 60 + (i % 10) * 70, origin.y() + 60 + (i / 10) * 90);
        auto down = MacroAction::mouseDown(0.1 * i, at.x(), at.y(), MouseButton::left);
        std::get<MacroAction::MouseDown>(down.payload).sight = sightAt(screen, at);
        macro.actions.push_back(down);
        macro.actions.push_back(MacroAction::mouseUp(0.1 * i + 0.02, at.x(), at.y(), MouseButton::left));
    }
    PlaybackOptions options;
    options.waitForScreen = state.range(0) ? 10 : 0;
    Quiet listener;
    for (auto _ : state) {
        QElapsedTimer took;
        took.start();
        if (!engine.run(macro, options, listener))
            state.SkipWithError(engine.failure().value_or(QStringLiteral("cancelled")).toStdString().c_str());
        state.SetIterationTime(double(took.nsecsElapsed()) / 1e9);
        state.counters["added_per_click_ms"] = (double(took.nsecsElapsed()) / 1e6 - 4920.0) / 50.0;
    }
}
BENCHMARK(BM_FiftyClicks)->Arg(0)->Arg(1)->ArgName("seeing")->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// From the late block being drawn to the click on it, over 20 tries: median and p95.
void BM_DetectionLag(benchmark::State& state)
{
    static Board board;
    X11ScreenCapture screen;
    X11EventPoster real;
    TimedPoster poster(real);
    SystemSleeper sleeper;
    PlaybackEngine engine(SystemClock::instance(), sleeper, poster);
    engine.setScreenCapture(&screen);
    board.draw(true);
    const QPoint origin = board.origin();
    const QPointF at(origin.x() + 300, origin.y() + 300);
    Macro macro;
    auto down = MacroAction::mouseDown(0, at.x(), at.y(), MouseButton::left);
    std::get<MacroAction::MouseDown>(down.payload).sight = sightAt(screen, at);
    macro.actions = {down, MacroAction::mouseUp(0.02, at.x(), at.y(), MouseButton::left)};
    Quiet listener;
    std::vector<double> lags;
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            board.draw(false);
            poster.presses.clear();
            std::chrono::steady_clock::time_point drawn;
            std::thread late([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(150 + 13 * i));
                board.draw(true);
                drawn = std::chrono::steady_clock::now();
            });
            engine.run(macro, PlaybackOptions{}, listener);
            late.join();
            if (!poster.presses.empty())
                lags.push_back(std::chrono::duration<double, std::milli>(poster.presses.front() - drawn).count());
        }
    }
    std::sort(lags.begin(), lags.end());
    if (!lags.empty()) {
        state.counters["median_ms"] = lags[lags.size() / 2];
        state.counters["p95_ms"] = lags[std::min(lags.size() - 1, lags.size() * 95 / 100)];
    }
}
BENCHMARK(BM_DetectionLag)->Iterations(1)->Unit(benchmark::kMillisecond);

// A press's picture: cut from the last frame and written as PNG (what the main thread
// does per press), and its size in the file as Base64.
void BM_PressPicture(benchmark::State& state)
{
    static Board board;
    X11ScreenCapture screen;
    PressCamera camera(screen, SystemClock::instance());
    const QPoint origin = board.origin();
    camera.start(SystemClock::instance().now());
    camera.pointerAt(origin.x() + 200, origin.y() + 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    double bytes = 0;
    for (auto _ : state) {
        const SightRef sight = camera.sightFor(1e9, origin.x() + 200, origin.y() + 200, QStringLiteral("Board"));
        bytes = sight ? double(sight->png.toBase64().size()) : 0;
        benchmark::DoNotOptimize(sight);
    }
    camera.stop();
    state.counters["file_bytes_per_click"] = bytes;
}
BENCHMARK(BM_PressPicture)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
