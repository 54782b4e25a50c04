// A recording keeps what the screen showed just before each press: the picture comes
// from a frame taken before the press, not from the screen after the application drew
// its reaction; it grows where the area is plain, and recordings without the screen or
// with pictures turned off carry none.
#include "Codec/PngCodec.h"
#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeInputTap.h"
#include "Platform/Fake/FakeScreenCapture.h"
#include "Platform/Fake/FakeWorkspace.h"
#include "Services/RecorderService.h"
#include "TestScreens.h"
#include "TestWait.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

class PressPictureTest : public ::testing::Test
{
protected:
    PressPictureTest()
    {
        workspace.setFrontmost(RunningApplication{QStringLiteral("org.example.Editor"), QStringLiteral("Editor")});
        screen.setScreen(texture(1));
        recorder.setScreenCapture(&screen);
    }

    void deliver(RawEventType type, double secondsAfterStart, double x, double y)
    {
        RawInputEvent e;
        e.type = type;
        e.time = start + secondsAfterStart;
        e.x = x;
        e.y = y;
        tap.deliver(e);
    }

    // Records a move to (x, y), frames of `before`, then a press there at 0.5 s that
    // the screen answers with `after` (drawn before the press is handed over).
    const ClickSight* pressOn(const ScreenImage& before, const ScreenImage& after, double x, double y)
    {
        screen.setScreen(before);
        start = clock.now();
        recorder.startRecording();
        deliver(RawEventType::mouseMoved, 0.1, x, y);
        EXPECT_TRUE(waitUntil([&] { return screen.captures >= 2; }, 3000)) << "no frames taken";
        clock.advance(1.0); // frames from now on come after the press
        screen.setScreen(after);
        const int before0 = screen.captures;
        EXPECT_TRUE(waitUntil([&] { return screen.captures > before0; }, 3000));
        deliver(RawEventType::leftMouseDown, 0.5, x, y);
        QCoreApplication::sendPostedEvents();
        actions = recorder.stopRecording();
        for (const MacroAction& a : actions)
            if (const auto* down = std::get_if<MacroAction::MouseDown>(&a.payload))
                return down->sight.get();
        return nullptr;
    }

    FakeClock clock;
    FakeInputTap tap;
    FakeWorkspace workspace;
    FakeScreenCapture screen;
    RecorderService recorder{tap, workspace, clock};
    std::vector<MacroAction> actions;
    double start = 0;
};

} // namespace

TEST_F(PressPictureTest, APressKeepsTheScreenFromJustBeforeItNotTheApplicationsReaction)
{
    const ScreenImage before = texture(1), pressed = texture(9);
    const ClickSight* sight = pressOn(before, pressed, 200, 150);
    ASSERT_TRUE(sight);
    EXPECT_EQ(sight->area, QRectF(176, 126, 48, 48));
    EXPECT_EQ(sight->windowApp, QStringLiteral("Editor"));
    const auto picture = PngCodec::decode(sight->png, sight->area, ClickSight::maxSide);
    ASSERT_TRUE(picture.hasValue());
    EXPECT_EQ(picture.value(), crop(before, 176, 126, 48, 48));
}

TEST_F(PressPictureTest, APlainAreaGetsALargerPictureAndPicturesCanBeTurnedOff)
{
    // A plain field 100 px wide around the press in a busy screen: 48 and 96 px are plain.
    ScreenImage field = texture(2);
    paste(field, blank(QRectF(0, 0, 100, 100), 100, 100, {200, 200, 200}), 150, 100);
    const ClickSight* sight = pressOn(field, field, 200, 150);
    ASSERT_TRUE(sight);
    EXPECT_EQ(sight->area, QRectF(128, 78, 144, 144));

    recorder.setTakesPictures(false);
    const int looks = screen.captures;
    start = clock.now();
    recorder.startRecording();
    deliver(RawEventType::leftMouseDown, 0.2, 200, 150);
    QCoreApplication::sendPostedEvents();
    actions = recorder.stopRecording();
    ASSERT_FALSE(actions.empty());
    EXPECT_FALSE(std::get<MacroAction::MouseDown>(actions.back().payload).sight);
    EXPECT_EQ(screen.captures, looks);

    // A screen that cannot be read: the press is kept without one.
    recorder.setTakesPictures(true);
    screen.failure = CaptureError{CaptureError::Kind::refused, {}};
    start = clock.now();
    recorder.startRecording();
    deliver(RawEventType::leftMouseDown, 0.2, 200, 150);
    QCoreApplication::sendPostedEvents();
    actions = recorder.stopRecording();
    EXPECT_FALSE(std::get<MacroAction::MouseDown>(actions.back().payload).sight);
}
