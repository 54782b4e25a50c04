#include "Platform/SystemClock.h"
#include "Platform/X11/X11InputTap.h"
#include "Platform/X11/X11PermissionProbe.h"
#include "Platform/X11/X11Workspace.h"
#include "Services/LogService.h"
#include "Services/RecorderService.h"
#include "TestWait.h"

#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

namespace {

// X keycodes of the test server's evdev keymap.
constexpr unsigned kA = 38, kShiftL = 50, kSuperL = 133, kReturn = 36;

class X11CaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(desktop.display(), nullptr) << "these tests need an X display (scripts/test.sh starts one)";
        ASSERT_TRUE(workspace.isConnected());
    }

    std::vector<MacroAction> inputOnly(const std::vector<MacroAction>& actions)
    {
        std::vector<MacroAction> result;
        for (const auto& a : actions)
            if (a.type() != ActionType::windowFocus)
                result.push_back(a);
        return result;
    }

    X11TestDesktop desktop;
    X11InputTap tap{SystemClock::instance()};
    X11Workspace workspace;
    RecorderService recorder{tap, workspace, SystemClock::instance()};
};

} // namespace

TEST_F(X11CaptureTest, RecordsKeysWithTheirModifiersButNotTheModifierKeys)
{
    desktop.activate(desktop.createWindow("QuilloTestKeys"));
    recorder.startRecording();
    ASSERT_EQ(recorder.state(), RecordingState::recording);
    desktop.tap(kA);
    desktop.key(kShiftL, true);
    desktop.tap(kA);
    desktop.key(kShiftL, false);
    desktop.key(kSuperL, true);
    desktop.tap(kReturn);
    desktop.key(kSuperL, false);
    desktop.sync();
    const auto actions = inputOnly(recorder.stopRecording());
    ASSERT_EQ(actions.size(), 6u);
    using A = MacroAction;
    const std::vector<std::pair<ActionType, std::pair<int, std::uint64_t>>> expected = {
        {ActionType::keyDown, {0, 0}}, {ActionType::keyUp, {0, 0}},
        {ActionType::keyDown, {0, ModifierFlags::shift}}, {ActionType::keyUp, {0, ModifierFlags::shift}},
        {ActionType::keyDown, {36, ModifierFlags::command}}, {ActionType::keyUp, {36, ModifierFlags::command}},
    };
    for (std::size_t i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(actions[i].type(), expected[i].first) << i;
        if (const auto* down = std::get_if<A::KeyDown>(&actions[i].payload)) {
            EXPECT_EQ(down->keyCode, expected[i].second.first);
            EXPECT_EQ(down->flags, expected[i].second.second);
        } else if (const auto* up = std::get_if<A::KeyUp>(&actions[i].payload)) {
            EXPECT_EQ(up->keyCode, expected[i].second.first);
            EXPECT_EQ(up->flags, expected[i].second.second);
        }
        EXPECT_GE(actions[i].timestamp, 0.0);
        if (i > 0) {
            EXPECT_GE(actions[i].timestamp, actions[i - 1].timestamp);
        }
    }
}

TEST_F(X11CaptureTest, RecordsClicksDragsWheelsAndThinsMotion)
{
    desktop.activate(desktop.createWindow("QuilloTestPointer"));
    desktop.moveTo(300, 200);
    desktop.sync();
    recorder.startRecording();
    // Back and forward (8, 9) are left out: replayed as middle clicks they would paste.
    for (unsigned b : {1u, 3u, 2u, 8u, 9u})
        desktop.click(b);
    for (unsigned b : {4u, 5u, 6u, 7u})
        desktop.click(b);
    // A burst of one-pixel moves within a few milliseconds is thinned to a few actions.
    for (int i = 1; i <= 100; ++i)
        desktop.moveTo(300 + i, 200);
    desktop.sync();
    QThread::msleep(30); // a drag 16 ms or more after the last kept move passes the gate
    desktop.button(1, true);
    desktop.moveTo(500, 300);
    desktop.button(1, false);
    desktop.sync();
    const auto actions = inputOnly(recorder.stopRecording());

    using A = MacroAction;
    std::vector<MacroAction> clicks, scrolls, moves, drags;
    for (const auto& a : actions) {
        switch (a.type()) {
        case ActionType::mouseDown:
        case ActionType::mouseUp:
            clicks.push_back(a);
            break;
        case ActionType::scroll:
            scrolls.push_back(a);
            break;
        case ActionType::mouseMove:
            moves.push_back(a);
            break;
        case ActionType::mouseDrag:
            drags.push_back(a);
            break;
        default:
            ADD_FAILURE() << "unexpected " << a.displayName().toStdString();
        }
    }
    ASSERT_EQ(clicks.size(), 8u); // three clicks and the drag's press and release
    const MouseButton buttons[] = {MouseButton::left, MouseButton::right, MouseButton::middle};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(clicks[std::size_t(2 * i)].payload, A::Payload(A::MouseDown{300, 200, buttons[i]})) << i;
        EXPECT_EQ(clicks[std::size_t(2 * i + 1)].payload, A::Payload(A::MouseUp{300, 200, buttons[i]})) << i;
    }
    ASSERT_EQ(scrolls.size(), 4u);
    EXPECT_EQ(scrolls[0].payload, A::Payload(A::Scroll{300, 200, 0, 1}));
    EXPECT_EQ(scrolls[1].payload, A::Payload(A::Scroll{300, 200, 0, -1}));
    EXPECT_EQ(scrolls[2].payload, A::Payload(A::Scroll{300, 200, 1, 0}));
    EXPECT_EQ(scrolls[3].payload, A::Payload(A::Scroll{300, 200, -1, 0}));
    EXPECT_GE(moves.size(), 1u);
    EXPECT_LE(moves.size(), 10u);
    // One line says that they were skipped.
    EXPECT_TRUE(waitUntil([] {
        return std::count_if(LogService::shared()->entries().begin(), LogService::shared()->entries().end(),
                             [](const LogEntry& e) { return e.message.contains(QStringLiteral("buttons 8 and up")); }) == 1;
    }));
    ASSERT_EQ(drags.size(), 1u) << [&] {
        std::string all;
        for (const auto& a : actions)
            all += a.displayName().toStdString() + "\n";
        return all;
    }();
    EXPECT_EQ(drags[0].payload, A::Payload(A::MouseDrag{500, 300, MouseButton::left}));
    EXPECT_EQ(clicks.back().payload, A::Payload(A::MouseUp{500, 300, MouseButton::left}));
}

TEST_F(X11CaptureTest, RecordsSwitchesBetweenApplicationsButNotToItself)
{
    const Window alpha = desktop.createWindow("QuilloTestAlpha");
    const Window beta = desktop.createWindow("QuilloTestBeta");
    const Window own = desktop.createWindow("SomethingElse", /*ownPid=*/true);
    ASSERT_TRUE(desktop.activate(alpha));
    ASSERT_TRUE(X11TestDesktop::waitFor([&] {
        const auto front = workspace.frontmostApplication();
        return front && front->id == QStringLiteral("QuilloTestAlpha");
    }));
    recorder.startRecording();
    ASSERT_FALSE(recorder.currentActions().empty());
    EXPECT_EQ(recorder.currentActions()[0],
              MacroAction::windowFocus(0, QStringLiteral("QuilloTestAlpha"), QStringLiteral("QuilloTestAlpha")));
    auto focusCount = [&] {
        return std::count_if(recorder.currentActions().begin(), recorder.currentActions().end(),
                             [](const MacroAction& a) { return a.type() == ActionType::windowFocus; });
    };
    ASSERT_TRUE(desktop.activate(beta));
    EXPECT_TRUE(X11TestDesktop::waitFor([&] { return focusCount() == 2; }));
    ASSERT_TRUE(desktop.activate(own));
    ASSERT_TRUE(desktop.activate(alpha));
    EXPECT_TRUE(X11TestDesktop::waitFor([&] { return focusCount() == 3; }));
    const auto actions = recorder.stopRecording();
    std::vector<QString> ids;
    for (const auto& a : actions)
        if (const auto* f = std::get_if<MacroAction::WindowFocus>(&a.payload))
            ids.push_back(f->bundleID());
    EXPECT_EQ(ids, (std::vector<QString>{QStringLiteral("QuilloTestAlpha"), QStringLiteral("QuilloTestBeta"),
                                          QStringLiteral("QuilloTestAlpha")}));
}

TEST_F(X11CaptureTest, StoppingRightAfterABurstLosesNothing)
{
    desktop.activate(desktop.createWindow("QuilloTestBurst"));
    for (int round = 0; round < 3; ++round) {
        recorder.startRecording();
        for (int i = 0; i < 500; ++i)
            desktop.tap(kA);
        desktop.sync();
        const auto actions = inputOnly(recorder.stopRecording());
        ASSERT_EQ(actions.size(), 1000u) << "round " << round;
        for (std::size_t i = 0; i < actions.size(); ++i)
            ASSERT_EQ(actions[i].type(), i % 2 ? ActionType::keyUp : ActionType::keyDown) << i;
    }
}

TEST(X11Permissions, GrantsFollowTheServersExtensions)
{
    X11PermissionProbe probe;
    EXPECT_TRUE(probe.accessibilityGranted(false));
    EXPECT_TRUE(probe.inputMonitoringGranted());
    X11PermissionProbe noDisplay(":99999");
    EXPECT_FALSE(noDisplay.accessibilityGranted(true));
    EXPECT_FALSE(noDisplay.inputMonitoringGranted());
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_FALSE(probe.inputMonitoringGranted());
    qunsetenv("WAYLAND_DISPLAY");
}

TEST(X11Tap, ReportsTheTapThreadAndFailsWithoutADisplay)
{
    X11InputTap broken(SystemClock::instance(), ":99999");
    QString error;
    EXPECT_FALSE(broken.start([](const RawInputEvent&) {}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot open the X display"))) << error.toStdString();
    EXPECT_FALSE(broken.isRunning());

    X11InputTap tap(SystemClock::instance());
    QString threadName;
    std::atomic<int> events{0};
    ASSERT_TRUE(tap.start([&](const RawInputEvent&) {
        if (events++ == 0)
            threadName = QThread::currentThread()->objectName();
    }, &error)) << error.toStdString();
    X11TestDesktop desktop;
    desktop.tap(kA);
    desktop.sync();
    tap.stop();
    tap.stop(); // twice is harmless
    EXPECT_EQ(events.load(), 2);
    EXPECT_EQ(threadName, QStringLiteral("com.quillo.eventTap"));
}

TEST(X11Layout, TheScreenLayoutComesFromRandR)
{
    X11Workspace workspace;
    ASSERT_TRUE(workspace.isConnected()) << "needs the X display scripts/test.sh starts";
    const auto layout = workspace.screenLayout();
    ASSERT_FALSE(layout.empty());
    // The test display is one 1280×800 screen.
    EXPECT_EQ(layout.front().x, 0);
    EXPECT_EQ(layout.front().width, 1280);
    EXPECT_EQ(layout.front().height, 800);
    EXPECT_FALSE(layout.front().name.isEmpty());
}
