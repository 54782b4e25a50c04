#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Platform/X11/X11EventPoster.h"
#include "Platform/X11/X11InputTap.h"
#include "Platform/X11/X11Workspace.h"
#include "Services/PlaybackService.h"
#include "Services/RecorderService.h"

#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

namespace {

class X11PlaybackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(desktop.display(), nullptr) << "these tests need an X display (scripts/test.sh starts one)";
        ASSERT_TRUE(poster.isConnected());
    }

    bool playToEnd(const Macro& macro)
    {
        playback.play(macro, {});
        return X11TestDesktop::waitFor([&] { return !playback.isBusy(); }, 10000);
    }

    X11TestDesktop desktop;
    const SystemClock& clock = SystemClock::instance();
    SystemSleeper sleeper;
    X11EventPoster poster;
    PlaybackService playback{poster, clock, sleeper};
};

using A = MacroAction;

} // namespace

TEST_F(X11PlaybackTest, AReplayIsRecordedBackActionForActionWithItsTiming)
{
    X11InputTap tap(clock);
    X11Workspace workspace;
    RecorderService recorder(tap, workspace, clock);
    const Window alpha = desktop.createWindow("QuilloReplayAlpha");
    desktop.createWindow("QuilloReplayBeta");
    ASSERT_TRUE(desktop.activate(alpha));

    constexpr std::uint64_t shift = ModifierFlags::shift;
    constexpr std::uint64_t ctrlAlt = ModifierFlags::control | ModifierFlags::option;
    constexpr std::uint64_t super = ModifierFlags::command;
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = {
        A::windowFocus(0.05, QStringLiteral("QuilloReplayBeta"), QStringLiteral("QuilloReplayBeta")),
        A::keyDown(0.20, 0, shift), A::keyUp(0.23, 0, shift),        // Shift+A
        A::keyDown(0.26, 1, ctrlAlt), A::keyUp(0.29, 1, ctrlAlt),    // Ctrl+Alt+S
        A::keyDown(0.32, 40, super), A::keyUp(0.35, 40, super),      // Super+K
        A::keyDown(0.38, 36, 0), A::keyUp(0.41, 36, 0),              // Return, modifiers let go
        A::mouseMove(0.45, 300, 300),
        A::mouseDown(0.50, 300, 300, MouseButton::left), A::mouseUp(0.52, 300, 300, MouseButton::left),
        A::mouseDown(0.55, 300, 300, MouseButton::right), A::mouseUp(0.57, 300, 300, MouseButton::right),
        A::mouseDown(0.60, 300, 300, MouseButton::middle), A::mouseUp(0.62, 300, 300, MouseButton::middle),
        A::mouseDown(0.70, 300, 300, MouseButton::left), A::mouseDrag(0.75, 350, 320, MouseButton::left),
        A::mouseUp(0.80, 350, 320, MouseButton::left),
        A::scroll(0.85, 350, 320, 0, -1), A::scroll(0.88, 350, 320, 0, 1),
        A::scroll(0.91, 350, 320, 1, 0), A::scroll(0.94, 350, 320, -1, 0),
    };

    recorder.startRecording();
    ASSERT_TRUE(playToEnd(macro));
    desktop.sync();
    QThread::msleep(50); // let the focus change reach the workspace
    X11TestDesktop::waitFor([] { return false; }, 50);
    std::vector<MacroAction> recorded = recorder.stopRecording();

    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.front(), A::windowFocus(0, QStringLiteral("QuilloReplayAlpha"), QStringLiteral("QuilloReplayAlpha")));
    recorded.erase(recorded.begin());
    ASSERT_EQ(recorded.size(), macro.actions.size()) << [&] {
        std::string all;
        for (const auto& a : recorded)
            all += a.displayName().toStdString() + "\n";
        return all;
    }();
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        EXPECT_EQ(recorded[i].payload, macro.actions[i].payload)
            << i << ": recorded " << recorded[i].displayName().toStdString() << ", played "
            << macro.actions[i].displayName().toStdString();
        // Input events carry the server's own times; the focus change is stamped when the
        // window manager announces it, so only the input gaps are held to 2 ms.
        if (i > 1) {
            const double recordedGap = recorded[i].timestamp - recorded[i - 1].timestamp;
            const double playedGap = macro.actions[i].timestamp - macro.actions[i - 1].timestamp;
            EXPECT_NEAR(recordedGap, playedGap, 0.002 + 1e-9) << i; // server times are whole ms
        }
    }
}

TEST_F(X11PlaybackTest, StoppingMidwayLeavesNoKeyOrButtonDown)
{
    desktop.activate(desktop.createWindow("QuilloReplayStuck"));
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = {
        A::keyDown(0.01, 56, 0),                         // Shift itself, held by the macro
        A::keyDown(0.02, 0, ModifierFlags::shift | ModifierFlags::command),
        A::mouseDown(0.03, 200, 200, MouseButton::left),
        A::keyUp(30.0, 0, 0),
    };
    playback.play(macro, {});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return playback.progress() >= 0.75; }));
    playback.stop();
    desktop.sync();

    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(desktop.display(), DefaultRootWindow(desktop.display()), &root, &child, &rx, &ry, &wx, &wy, &mask);
    EXPECT_EQ(mask & (Button1Mask | Button2Mask | Button3Mask | ShiftMask | ControlMask | Mod1Mask | Mod4Mask), 0u)
        << std::hex << mask;
    char keys[32];
    XQueryKeymap(desktop.display(), keys);
    for (int keycode = 8; keycode < 256; ++keycode)
        EXPECT_FALSE(keys[keycode / 8] & (1 << (keycode % 8))) << "key " << keycode << " is still down";
}
