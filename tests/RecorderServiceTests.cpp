#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeInputTap.h"
#include "Platform/Fake/FakeWorkspace.h"
#include "Services/RecorderService.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const RunningApplication kEditor{QStringLiteral("org.example.Editor"), QStringLiteral("Editor")};
const RunningApplication kFiles{QStringLiteral("org.example.Files"), QStringLiteral("Files")};

class RecorderTest : public ::testing::Test
{
protected:
    RecorderTest() : recorder(tap, workspace, clock) { workspace.setFrontmost(kEditor); }

    // An event that happened `secondsAfterStart` into the recording.
    bool key(double secondsAfterStart, std::uint16_t code = 0, RawEventType type = RawEventType::keyDown)
    {
        RawInputEvent e;
        e.type = type;
        e.time = startTime + secondsAfterStart;
        e.keyCode = code;
        return tap.deliver(e);
    }

    void start()
    {
        startTime = clock.now();
        recorder.startRecording();
    }

    static void handOver() { QCoreApplication::sendPostedEvents(); }

    std::vector<ActionType> types() const
    {
        std::vector<ActionType> result;
        for (const auto& a : recorder.currentActions())
            result.push_back(a.type());
        return result;
    }

    FakeClock clock;
    FakeInputTap tap;
    FakeWorkspace workspace;
    RecorderService recorder;
    double startTime = 0;
};

} // namespace

TEST_F(RecorderTest, RecordsTheStartingApplicationAndInputInOrderUntilStopped)
{
    EXPECT_TRUE(recorder.stopRecording().empty()); // idle: nothing happens
    start();
    EXPECT_EQ(recorder.state(), RecordingState::recording);
    EXPECT_TRUE(tap.isRunning());
    ASSERT_EQ(recorder.currentActions().size(), 1u);
    EXPECT_EQ(recorder.currentActions()[0], MacroAction::windowFocus(0, kEditor.id, kEditor.name));

    recorder.startRecording(); // already recording: nothing changes
    EXPECT_EQ(tap.startCount(), 1);

    // Events from the tap thread are taken on the main thread, in order.
    QThread* tapThread = QThread::create([this] {
        for (int i = 1; i <= 200; ++i)
            key(i * 0.001, std::uint16_t(i));
    });
    tapThread->start();
    tapThread->wait();
    delete tapThread;
    ASSERT_TRUE(key(0.5, 999));
    // Stopping takes whatever the tap delivered, even if the main thread had no turn yet.
    const auto result = recorder.stopRecording();
    EXPECT_FALSE(tap.isRunning());
    ASSERT_EQ(result.size(), 202u);
    for (int i = 1; i <= 200; ++i) {
        EXPECT_EQ(std::get<MacroAction::KeyDown>(result[std::size_t(i)].payload).keyCode, i);
        EXPECT_NEAR(result[std::size_t(i)].timestamp, i * 0.001, 1e-9);
    }
    EXPECT_EQ(recorder.state(), RecordingState::idle);
    EXPECT_EQ(recorder.elapsedTime(), 0.0);
    EXPECT_EQ(recorder.currentActions(), result); // kept until the next start
    handOver();
    EXPECT_EQ(recorder.currentActions(), result);

    workspace.setFrontmost(std::nullopt); // no frontmost application: no starting focus
    start();
    EXPECT_TRUE(recorder.currentActions().empty());
    recorder.stopRecording();
}

TEST_F(RecorderTest, FocusActionsFollowSwitchesButNeverThisApplication)
{
    start();
    clock.advance(1);
    workspace.activate(kFiles);
    clock.advance(1);
    workspace.activate({workspace.ownApplicationId(), QStringLiteral("Quillo")});
    workspace.activate(kFiles); // still the last one recorded
    workspace.activate({QString(), QStringLiteral("No identifier")});
    clock.advance(1);
    workspace.activate({QStringLiteral("org.example.Unnamed"), QString()});
    workspace.activate(kEditor);
    const auto result = recorder.stopRecording();
    ASSERT_EQ(result.size(), 4u);
    EXPECT_EQ(result[1], MacroAction::windowFocus(1, kFiles.id, kFiles.name));
    EXPECT_EQ(result[2], MacroAction::windowFocus(3, QStringLiteral("org.example.Unnamed"), QStringLiteral("org.example.Unnamed")));
    EXPECT_EQ(result[3], MacroAction::windowFocus(3, kEditor.id, kEditor.name));
    workspace.activate(kFiles); // not recording any more
    EXPECT_EQ(recorder.currentActions().size(), 4u);
}

TEST_F(RecorderTest, InputThatArrivesLateGoesBeforeALaterApplicationSwitch)
{
    start();
    ASSERT_TRUE(key(0.10, 1));
    clock.advance(0.3);
    workspace.activate(kFiles);  // reported at once, at 0.3 s
    ASSERT_TRUE(key(0.20, 2));   // typed before the switch, delivered after it
    ASSERT_TRUE(key(0.40, 3));
    handOver();
    const auto& actions = recorder.currentActions();
    ASSERT_EQ(actions.size(), 5u);
    EXPECT_EQ(types(), (std::vector<ActionType>{ActionType::windowFocus, ActionType::keyDown, ActionType::keyDown,
                                                ActionType::windowFocus, ActionType::keyDown}));
    for (std::size_t i = 1; i < actions.size(); ++i)
        EXPECT_LE(actions[i - 1].timestamp, actions[i].timestamp);
    recorder.stopRecording();
}

TEST_F(RecorderTest, TheCapEndsTheRecordingAndHandsOverItsActions)
{
    QSignalSpy capped(&recorder, &RecorderService::recordingCapped);
    start();
    for (std::size_t i = 1; i < RecorderService::maxActions; ++i)
        ASSERT_TRUE(key(double(i) * 1e-4));
    handOver();
    ASSERT_EQ(recorder.currentActions().size(), RecorderService::maxActions);
    // At the cap an application switch is dropped and the recording goes on ...
    workspace.activate(kFiles);
    EXPECT_EQ(recorder.state(), RecordingState::recording);
    EXPECT_EQ(recorder.currentActions().size(), RecorderService::maxActions);
    // ... and the next input ends it, without being added.
    ASSERT_TRUE(key(2.0, 77));
    handOver();
    EXPECT_EQ(recorder.state(), RecordingState::idle);
    EXPECT_FALSE(tap.isRunning());
    ASSERT_EQ(capped.size(), 1);
    const auto handed = capped[0][0].value<std::vector<MacroAction>>();
    EXPECT_EQ(handed.size(), RecorderService::maxActions);
    EXPECT_EQ(handed, recorder.currentActions());
}

TEST_F(RecorderTest, ARefusedTapEndsTheRecordingAndSetsTheFlag)
{
    tap.refuse(QStringLiteral("no display"));
    start();
    EXPECT_FALSE(recorder.tapFailed()); // reported on the main thread, after start returns
    handOver();
    EXPECT_TRUE(recorder.tapFailed());
    EXPECT_EQ(recorder.state(), RecordingState::idle);

    tap.refuse(QString());
    start();
    EXPECT_FALSE(recorder.tapFailed()); // cleared by the next start
    EXPECT_EQ(recorder.state(), RecordingState::recording);
    recorder.stopRecording();
}

TEST_F(RecorderTest, ElapsedTimeFollowsTheClockWhileRecording)
{
    EXPECT_FALSE(recorder.isElapsedTimerActive());
    start();
    EXPECT_TRUE(recorder.isElapsedTimerActive());
    clock.advance(2.25);
    recorder.refreshElapsedTime();
    EXPECT_DOUBLE_EQ(recorder.elapsedTime(), 2.25);
    recorder.stopRecording();
    EXPECT_FALSE(recorder.isElapsedTimerActive());
    EXPECT_EQ(recorder.elapsedTime(), 0.0);
}

TEST_F(RecorderTest, OptionsLeaveOutKeysOrTheMouseAndThinMovesButKeepTheOnesLeadingIntoAClick)
{
    auto mouse = [&](double at, RawEventType type) {
        RawInputEvent e;
        e.type = type;
        e.time = startTime + at;
        e.x = at * 1000;
        e.y = 10;
        e.scrollAxis1 = 1;
        tap.deliver(e);
    };
    auto record = [&](RecordingOptions options) {
        startTime = clock.now();
        recorder.startRecording(std::nullopt, options);
        // Moves every 20 ms; a key at 35 ms; a click at 73 ms, a wheel turn at 144 ms.
        for (int ms = 20; ms <= 160; ms += 20) {
            mouse(ms / 1000.0, RawEventType::mouseMoved);
            if (ms == 20) {
                key(0.035);
                key(0.036, 0, RawEventType::keyUp);
            }
            if (ms == 60) {
                mouse(0.073, RawEventType::leftMouseDown);
                mouse(0.074, RawEventType::leftMouseUp);
            }
            if (ms == 140)
                mouse(0.144, RawEventType::scrollWheel);
        }
        std::vector<std::pair<ActionType, int>> got; // type, ms
        for (const MacroAction& a : recorder.stopRecording())
            if (a.type() != ActionType::windowFocus)
                got.emplace_back(a.type(), int(std::lround(a.timestamp * 1000)));
        return got;
    };
    using T = ActionType;
    const auto keyboardOnly = record({true, false, 0});
    EXPECT_EQ(keyboardOnly, (std::vector<std::pair<T, int>>{{T::keyDown, 35}, {T::keyUp, 36}}));
    EXPECT_EQ(recorder.options(), (RecordingOptions{true, false, 0}));

    const auto mouseOnly = record({false, true, 0});
    EXPECT_EQ(mouseOnly.size(), 11u); // 8 moves, down, up, wheel
    EXPECT_TRUE(std::none_of(mouseOnly.begin(), mouseOnly.end(),
                             [](const auto& a) { return a.first == T::keyDown || a.first == T::keyUp; }));

    // One move per 50 ms, and the last move before the click (60) and before the wheel (140).
    const auto thinned = record({true, true, 50});
    EXPECT_EQ(thinned, (std::vector<std::pair<T, int>>{{T::mouseMove, 20},
                                                      {T::keyDown, 35},
                                                      {T::keyUp, 36},
                                                      {T::mouseMove, 60},
                                                      {T::mouseDown, 73},
                                                      {T::mouseUp, 74},
                                                      {T::mouseMove, 120},
                                                      {T::mouseMove, 140},
                                                      {T::scroll, 144}}));
}
