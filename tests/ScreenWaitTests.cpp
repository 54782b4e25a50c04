// A replay that waits for what the screen showed at recording, on virtual time: a late
// picture shifts only what follows and the press goes where the picture is now, the
// speed leaves waits alone, a picture that never comes stops the playback with the step
// named and nothing held, and without a readable screen nothing starts.
#include "Codec/PngCodec.h"
#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeEventPoster.h"
#include "Platform/Fake/FakeScreenCapture.h"
#include "Platform/Fake/FakeSleeper.h"
#include "Services/PlaybackEngine.h"
#include "TestScreens.h"

#include <gtest/gtest.h>

namespace {

struct Quiet : PlaybackEngine::Listener {
    void loopStarted(qint64, qint64, double) override {}
    void progressed(double) override {}
};

class ScreenWaitTest : public ::testing::Test
{
protected:
    ScreenWaitTest()
    {
        engine.setScreenCapture(&screen);
        screen.screen = texture(1);
        picture = crop(texture(2), 100, 100, 48, 48); // a button of the application
    }

    // The application's window drawn at `x`, `y` on the screen from `at` seconds on.
    void appearsAt(double at, int x, int y)
    {
        screen.beforeCapture = [this, at, x, y] {
            ScreenImage now = texture(1);
            if (clock.now() >= at)
                paste(now, picture, x, y);
            screen.screen = now;
        };
    }

    // A press on the picture's button at (120, 130) with what the screen showed there.
    MacroAction pressOnPicture(double t)
    {
        MacroAction press = MacroAction::mouseDown(t, 120, 130, MouseButton::left);
        std::get<MacroAction::MouseDown>(press.payload).sight =
            SightRef(ClickSight{PngCodec::encode(picture).value(), picture.area, QStringLiteral("Text Editor"), {}, {}});
        return press;
    }

    Macro macroOf(std::vector<MacroAction> actions)
    {
        Macro m;
        m.id = QUuid::createUuid();
        m.actions = std::move(actions);
        return m;
    }

    FakeClock clock{500.0};
    FakeSleeper sleeper{clock};
    FakeEventPoster poster{clock};
    FakeScreenCapture screen;
    PlaybackEngine engine{clock, sleeper, poster};
    ScreenImage picture;
    Quiet listener;
};

} // namespace

TEST_F(ScreenWaitTest, ALatePictureShiftsWhatFollowsAndThePressGoesWhereItIsNow)
{
    const double start = clock.now();
    // Drawn 3 s late, 150 px further right.
    appearsAt(start + 3.0, 250, 100);
    PlaybackOptions options;
    options.speedMultiplier = 2.0;
    const Macro macro = macroOf({pressOnPicture(1.0), MacroAction::mouseUp(1.2, 120, 130, MouseButton::left),
                                 MacroAction::keyDown(2.0, 4, 0), MacroAction::keyUp(2.1, 4, 0)});
    ASSERT_TRUE(engine.run(macro, options, listener)) << engine.failure().value_or(QString()).toStdString();
    const auto posted = poster.posted();
    ASSERT_EQ(posted.size(), 4u);
    // The press and its release where the button is now.
    EXPECT_EQ(posted[0].event.type, RawEventType::leftMouseDown);
    EXPECT_EQ(posted[0].event.x, 270);
    EXPECT_EQ(posted[0].event.y, 130);
    EXPECT_EQ(posted[1].event.x, 270);
    // Pressed as soon as the picture was there and steady (within one look).
    EXPECT_GE(posted[0].at - start, 3.0);
    EXPECT_LE(posted[0].at - start, 3.0 + PlaybackEngine::screenPollInterval + 1e-9);
    // What follows keeps its recorded rhythm at the chosen speed from there.
    EXPECT_NEAR(posted[1].at - posted[0].at, 0.1, 1e-9);
    EXPECT_NEAR(posted[2].at - posted[0].at, 0.5, 1e-9);
    EXPECT_NEAR(posted[3].at - posted[2].at, 0.05, 1e-9);
}

TEST_F(ScreenWaitTest, APictureThatIsAlreadyThereCostsNoTimeAndWaitingOffReplaysBlind)
{
    const double start = clock.now();
    appearsAt(0, 100, 100); // where it was recorded, from the start
    const Macro macro = macroOf({pressOnPicture(1.0), MacroAction::mouseUp(1.1, 120, 130, MouseButton::left)});
    ASSERT_TRUE(engine.run(macro, PlaybackOptions{}, listener));
    EXPECT_NEAR(poster.posted()[0].at - start, 1.0, 1e-9);
    EXPECT_EQ(poster.posted()[0].event.x, 120);

    // Waiting off: no look at the screen, the press where it was recorded.
    poster.clear();
    appearsAt(0, 300, 200);
    const int looks = screen.captures;
    PlaybackOptions blind;
    blind.waitForScreen = 0;
    ASSERT_TRUE(engine.run(macro, blind, listener));
    EXPECT_EQ(screen.captures, looks);
    EXPECT_EQ(poster.posted()[0].event.x, 120);
}

TEST_F(ScreenWaitTest, APictureThatNeverComesStopsWithTheStepNamedAndNothingHeld)
{
    const double start = clock.now();
    appearsAt(1e9, 0, 0);
    PlaybackOptions options;
    options.waitForScreen = 4;
    const Macro macro = macroOf({MacroAction::windowFocus(0, QStringLiteral("org.example.Editor"), QStringLiteral("Editor")),
                                 MacroAction::keyDown(0.5, 56, 0x20000), pressOnPicture(1.0),
                                 MacroAction::mouseUp(1.1, 120, 130, MouseButton::left)});
    EXPECT_FALSE(engine.run(macro, options, listener));
    ASSERT_TRUE(engine.failure());
    EXPECT_EQ(*engine.failure(), QStringLiteral("Step 3 (a click in Text Editor) waited 4 s for what was on the screen "
                                                "when it was recorded; the playback stopped and let go of every key and "
                                                "button."));
    EXPECT_TRUE(engine.failedApplication().isEmpty());
    EXPECT_EQ(engine.failedPicture(), picture);
    EXPECT_EQ(engine.failedScreen().width, 400);
    EXPECT_NEAR(clock.now() - start, 5.0, PlaybackEngine::screenPollInterval + 1e-9);
    // The Shift it pressed is let go, and no press was posted.
    const auto posted = poster.posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].event.type, RawEventType::keyUp);
    EXPECT_EQ(posted[1].event.keyCode, 56);
}

TEST_F(ScreenWaitTest, WithoutAReadableScreenNothingStartsAndAMovingPictureIsPressedOnceItStops)
{
    const Macro macro = macroOf({MacroAction::keyDown(0, 4, 0), pressOnPicture(1.0),
                                 MacroAction::mouseUp(1.1, 120, 130, MouseButton::left)});
    screen.failure = CaptureError{CaptureError::Kind::refused, QStringLiteral("not this caller")};
    EXPECT_FALSE(engine.run(macro, PlaybackOptions{}, listener));
    EXPECT_EQ(*engine.failure(), QStringLiteral("The clicks of this macro wait for what was on the screen when it was "
                                                "recorded, but the desktop refused to show the screen: not this caller. "
                                                "Turn off waiting for the screen to replay it blind."));
    EXPECT_TRUE(poster.posted().empty());
    PlaybackEngine noScreen{clock, sleeper, poster};
    EXPECT_FALSE(noScreen.run(macro, PlaybackOptions{}, listener));
    EXPECT_TRUE(noScreen.failure()->contains(QStringLiteral("the screen of this desktop cannot be read")));
    EXPECT_TRUE(poster.posted().empty());

    // An animation: the button slides 10 px each look until it settles at 200, 150.
    screen.failure.reset();
    int step = 0;
    screen.beforeCapture = [&] {
        ScreenImage now = texture(1);
        const int x = std::min(100 + 10 * step++, 200);
        paste(now, picture, x, x == 200 ? 150 : 100);
        screen.screen = now;
    };
    ASSERT_TRUE(engine.run(macro, PlaybackOptions{}, listener));
    const auto press = poster.posted()[1];
    EXPECT_EQ(press.event.x, 220);
    EXPECT_EQ(press.event.y, 180);
}
