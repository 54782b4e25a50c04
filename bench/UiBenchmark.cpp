// Window figures, offscreen: showing a macro of 10,000 actions, starting with a library
// of 100 × 1,000 actions, and how responsive the window stays while a recording takes
// 1,000 events per second. Baselines in the same run: the same steps with tiny inputs.
#include "AppModelHarness.h"
#include "Codec/MacroJsonEncoder.h"
#include "LibraryGenerator.h"
#include "Services/AtomicFile.h"
#include "Views/ContentView.h"
#include "Views/MacroDetailView.h"
#include "Views/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

void writeLibrary(AppModelHarness& h, const std::vector<Macro>& macros)
{
    QDir().mkpath(QFileInfo(h.libraryPath()).absolutePath());
    if (!AtomicFile::write(h.libraryPath(), MacroJsonEncoder::encodeLibrary(macros).value()))
        std::abort();
}

void selectMacro(benchmark::State& state, int actions)
{
    AppModelHarness h;
    writeLibrary(h, {generateLibrary(1, 10, 1)[0], generateLibrary(1, actions, 2)[0]});
    AppViewModel& model = h.start();
    MainWindow window(model);
    window.show();
    QApplication::processEvents();
    double scrollMs = 0;
    for (auto _ : state) {
        model.setSelectedMacroID(model.macros()[0].id);
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        model.setSelectedMacroID(model.macros()[1].id);
        QApplication::processEvents();
        window.repaint(); // drawn, not just scheduled
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        // Scrolling through the whole list, one page at a time.
        QListView* list = window.content()->detail()->actionList();
        QElapsedTimer scroll;
        scroll.start();
        int pages = 0;
        for (int v = 0; v <= list->verticalScrollBar()->maximum() && pages < 200; v += list->verticalScrollBar()->pageStep(), ++pages) {
            list->verticalScrollBar()->setValue(v);
            list->viewport()->repaint();
        }
        scrollMs = pages ? double(scroll.nsecsElapsed()) / 1e6 / pages : 0;
    }
    state.counters["ms_per_page_scrolled"] = scrollMs;
}

void BM_SelectMacro10000(benchmark::State& state) { selectMacro(state, 10'000); }
void BM_SelectMacroBaseline10(benchmark::State& state) { selectMacro(state, 10); }

void launch(benchmark::State& state, int macros, int actions)
{
    AppModelHarness h;
    writeLibrary(h, generateLibrary(macros, actions));
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        AppViewModel& model = h.start();
        MainWindow window(model);
        window.show();
        QApplication::processEvents();
        window.repaint();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        h.model.reset();
    }
}

void BM_LaunchToWindow100x1000(benchmark::State& state) { launch(state, 100, 1000); }
void BM_LaunchToWindowBaselineEmpty(benchmark::State& state) { launch(state, 0, 0); }

// The main thread's longest pause (a 5 ms timer's worst lateness) while 1,000 events per
// second arrive during a recording; and how often the recorder bar redrew.
void BM_RecordingAt1000EventsPerSecond(benchmark::State& state)
{
    AppModelHarness h;
    AppViewModel& model = h.start();
    MainWindow window(model);
    window.show();
    for (auto _ : state) {
        model.recordingFlow().startRecording();
        std::atomic<bool> done{false};
        QThread* feeder = QThread::create([&] {
            for (int i = 0; i < 3000; ++i) {
                RawInputEvent e;
                e.type = i % 2 ? RawEventType::keyUp : RawEventType::keyDown;
                e.time = h.clock.now() + i * 0.001;
                h.tap.deliver(e);
                QThread::usleep(1000);
            }
            done = true;
        });
        double worstMs = 0;
        int ticks = 0;
        QElapsedTimer since;
        since.start();
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            worstMs = std::max(worstMs, double(since.nsecsElapsed()) / 1e6 - 5.0);
            since.restart();
            ++ticks;
            model.recorder().refreshElapsedTime();
        });
        timer.start(5);
        QElapsedTimer total;
        total.start();
        feeder->start();
        while (!done)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        feeder->wait();
        delete feeder;
        state.SetIterationTime(double(total.nsecsElapsed()) / 1e9);
        state.counters["worst_main_thread_pause_ms"] = worstMs;
        state.counters["actions_captured"] = double(model.recorder().currentActions().size());
        model.recordingFlow().discardPendingRecording();
    }
}

} // namespace

BENCHMARK(BM_SelectMacro10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SelectMacroBaseline10)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LaunchToWindow100x1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LaunchToWindowBaselineEmpty)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecordingAt1000EventsPerSecond)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
