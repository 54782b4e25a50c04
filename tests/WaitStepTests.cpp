// Steps made by hand that wait, on virtual time: each kind waits until what it names is
// so and shifts only what follows, a wait that runs out stops with the step named (or goes
// on, when the step says so), a blind replay skips what reads the screen but not windows,
// and a window wait where the desktop names no windows stops before anything is posted.
#include "Codec/PngCodec.h"
#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeEventPoster.h"
#include "Platform/Fake/FakeScreenCapture.h"
#include "Platform/Fake/FakeSleeper.h"
#include "Services/PlaybackEngine.h"
#include "TestScreens.h"

#include <gtest/gtest.h>
#include <functional>

namespace {

struct Notes : PlaybackEngine::Listener {
    void loopStarted(qint64, qint64, double) override {}
    void progressed(double) override {}
    void note(const QString& text) override { said << text; }
    QStringList said;
};

// Windows the test opens and closes as virtual time goes on.
struct ScriptedWindows : WindowWatch {
    std::function<std::optional<std::vector<DesktopWindow>>()> now;
    std::optional<std::vector<DesktopWindow>> windows() override { return now ? now() : std::nullopt; }
};

class WaitStepTest : public ::testing::Test
{
protected:
    WaitStepTest()
    {
        engine.setScreenCapture(&screen);
        engine.setWindowWatch(&windows);
        screen.screen = texture(1);
        picture = crop(texture(2), 100, 100, 48, 48);
        windows.now = [] { return std::vector<DesktopWindow>{}; };
    }

    // `change` is applied to a fresh screen before every look from `at` seconds on.
    void from(double at, std::function<void(ScreenImage&)> change)
    {
        screen.beforeCapture = [this, at, change] {
            ScreenImage now = texture(1);
            if (clock.now() >= at)
                change(now);
            screen.screen = now;
        };
    }

    static Macro macroOf(std::vector<MacroAction> actions)
    {
        Macro m;
        m.id = QUuid::createUuid();
        m.actions = std::move(actions);
        return m;
    }

    // A wait at 1.0 s between a key at 0.5 s and a key at 1.5 s.
    static Macro around(const ScreenWait& wait)
    {
        return macroOf({MacroAction::keyDown(0.5, 4, 0), MacroAction::keyUp(0.6, 4, 0), MacroAction::wait(1.0, wait),
                        MacroAction::keyDown(1.5, 5, 0), MacroAction::keyUp(1.6, 5, 0)});
    }

    ScreenWait imageWait(double timeout = 5) const
    {
        ScreenWait w;
        w.kind = ScreenWait::Kind::image;
        w.png = PngCodec::encode(picture).value();
        w.area = picture.area;
        w.timeout = timeout;
        return w;
    }

    // When the key after the wait went down, from the start.
    double resumedAt() const
    {
        for (const auto& p : poster.posted())
            if (p.event.type == RawEventType::keyDown && p.event.keyCode == 5)
                return p.at - start;
        return -1;
    }

    FakeClock clock{500.0};
    double start = clock.now();
    FakeSleeper sleeper{clock};
    FakeEventPoster poster{clock};
    FakeScreenCapture screen;
    ScriptedWindows windows;
    PlaybackEngine engine{clock, sleeper, poster};
    ScreenImage picture;
    Notes listener;
};

} // namespace

TEST_F(WaitStepTest, AnImageAColourAndAWindowEachHoldWhatFollowsUntilTheyAreThere)
{
    // The picture drawn 3 s in, somewhere else than where it was taken; at speed 2.
    from(start + 3.0, [this](ScreenImage& s) { paste(s, picture, 260, 40); });
    PlaybackOptions fast;
    fast.speedMultiplier = 2.0;
    ASSERT_TRUE(engine.run(around(imageWait()), fast, listener)) << engine.failure().value_or(QString()).toStdString();
    // The wait started at 0.5 s (1.0 at speed 2) and ended within a look of 3 s; the key
    // after it keeps its half-second gap at speed 2.
    EXPECT_GE(resumedAt(), 3.0 + 0.25 - 1e-9);
    EXPECT_LE(resumedAt(), 3.0 + 0.25 + PlaybackEngine::screenPollInterval + 1e-9);
    EXPECT_NEAR(poster.posted()[1].at - start, 0.3, 1e-9); // what came before, untouched

    // A colour at a point, within its tolerance, from 2 s on.
    poster.clear();
    start = clock.now();
    from(start + 2.0, [](ScreenImage& s) { set(s, 30, 40, {12, 200, 250}); });
    ScreenWait color;
    color.kind = ScreenWait::Kind::color;
    color.area = QRectF(30, 40, 1, 1);
    color.color = 0xfac810; // red fa, green c8, blue 10
    color.tolerance = 8;
    ASSERT_TRUE(engine.run(around(color), PlaybackOptions{}, listener));
    EXPECT_NEAR(resumedAt(), 2.0 + 0.5, PlaybackEngine::screenPollInterval + 1e-9);

    // A window that opens, comes to the front, then closes.
    auto window = [](const QString& title, bool front) {
        return DesktopWindow{QStringLiteral("org.example.Editor"), QStringLiteral("Editor"), title, {}, front};
    };
    double opens = 1.5;
    windows.now = [&] {
        const double t = clock.now() - start;
        std::vector<DesktopWindow> list;
        if (t >= opens && t < 4.0)
            list.push_back(window(QStringLiteral("Report 7.txt \u2014 Editor"), t >= 2.5));
        return list;
    };
    ScreenWait appears;
    appears.kind = ScreenWait::Kind::window;
    appears.title = QStringLiteral("report \\d+\\.txt");
    appears.titleMatch = ScreenWait::TitleMatch::pattern;
    ScreenWait front = appears;
    front.event = ScreenWait::WindowEvent::front;
    front.app = QStringLiteral("Editor"); // by name as well as by id
    ScreenWait closes = appears;
    closes.event = ScreenWait::WindowEvent::close;
    const std::pair<ScreenWait, double> cases[] = {{appears, 1.5}, {front, 2.5}, {closes, 4.0}};
    for (const auto& [wait, when] : cases) {
        poster.clear();
        start = clock.now();
        opens = wait.event == ScreenWait::WindowEvent::close ? 0 : 1.5; // open before it can close
        ASSERT_TRUE(engine.run(around(wait), PlaybackOptions{}, listener));
        EXPECT_NEAR(resumedAt(), when + 0.5, PlaybackEngine::screenPollInterval + 1e-9) << when;
    }
}

TEST_F(WaitStepTest, AScreenHasSettledOnlyOnceItStayedTheSameForTheQuietTime)
{
    // An animation in the area until 2 s; a change elsewhere on the screen does not count.
    from(start, [this](ScreenImage& s) {
        const double t = clock.now() - start;
        if (t < 2.0)
            set(s, 10, 10, {std::uint8_t(int(t * 100) % 255), 0, 0});
        set(s, 300, 200, {std::uint8_t(int(t * 100) % 255), 1, 1});
    });
    ScreenWait settle;
    settle.kind = ScreenWait::Kind::settle;
    settle.area = QRectF(0, 0, 100, 100);
    settle.quietMs = 700;
    ASSERT_TRUE(engine.run(around(settle), PlaybackOptions{}, listener));
    EXPECT_NEAR(resumedAt(), 2.0 + 0.7 + 0.5, 2 * PlaybackEngine::screenPollInterval + 1e-9);

    // The front window's area when the step names none: it is quiet at once.
    poster.clear();
    start = clock.now();
    from(start, [this](ScreenImage& s) { set(s, 300, 200, {std::uint8_t(int(clock.now() * 100) % 255), 1, 1}); });
    windows.now = [] {
        return std::vector<DesktopWindow>{{QStringLiteral("a"), QStringLiteral("A"), {}, QRectF(0, 0, 100, 100), true}};
    };
    settle.area = {};
    ASSERT_TRUE(engine.run(around(settle), PlaybackOptions{}, listener));
    EXPECT_NEAR(resumedAt(), 1.0 + 0.7 + 0.5, PlaybackEngine::screenPollInterval + 1e-9);
}

TEST_F(WaitStepTest, AWaitThatRunsOutStopsWithTheStepNamedOrGoesOnWhenItSaysSo)
{
    from(start, [](ScreenImage&) {});
    // Key 9 is down when the wait begins: the stop lets go of it.
    const Macro macro = macroOf({MacroAction::keyDown(0.5, 9, 0), MacroAction::wait(1.0, imageWait(4)),
                                 MacroAction::keyUp(1.5, 9, 0)});
    EXPECT_FALSE(engine.run(macro, PlaybackOptions{}, listener));
    EXPECT_EQ(engine.failureKind(), PlaybackEngine::FailureKind::waitRanOut);
    EXPECT_EQ(engine.failedStep(), 2);
    EXPECT_EQ(engine.failure().value_or(QString()).toStdString(),
              "Step 2 (Wait for Image) waited 4 s; the playback stopped and let go of every key and button.");
    EXPECT_NEAR(clock.now() - start, 5.0, PlaybackEngine::screenPollInterval + 1e-9);
    // What was looked for and what the screen showed, for saving beside the message.
    EXPECT_EQ(engine.failedPicture(), picture);
    EXPECT_FALSE(engine.failedScreen().isNull());
    const auto posted = poster.posted();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].event.type, RawEventType::keyUp);
    EXPECT_EQ(posted[1].event.keyCode, 9);

    // Going on: the log hears of it and the rest plays, shifted by the whole wait.
    poster.clear();
    start = clock.now();
    ScreenWait goOn = imageWait(2);
    goOn.stopOnTimeout = false;
    ASSERT_TRUE(engine.run(around(goOn), PlaybackOptions{}, listener));
    EXPECT_NEAR(resumedAt(), 1.0 + 2.0 + 0.5, PlaybackEngine::screenPollInterval + 1e-9);
    ASSERT_EQ(listener.said.size(), 1);
    EXPECT_EQ(listener.said[0].toStdString(), "Step 3 (Wait for Image) waited 2 s in vain; the playback went on.");
}

TEST_F(WaitStepTest, ABlindReplaySkipsWhatReadsTheScreenButStillWaitsForWindows)
{
    from(start, [](ScreenImage&) {}); // the picture never comes
    ScreenWait window;
    window.kind = ScreenWait::Kind::window;
    window.app = QStringLiteral("org.example.Editor");
    windows.now = [&] {
        std::vector<DesktopWindow> list;
        if (clock.now() - start >= 2.0)
            list.push_back({QStringLiteral("org.example.Editor"), QStringLiteral("Editor"), {}, {}, false});
        return list;
    };
    const Macro macro = macroOf({MacroAction::wait(0.5, imageWait(3)), MacroAction::wait(1.0, window),
                                 MacroAction::keyDown(1.5, 5, 0), MacroAction::keyUp(1.6, 5, 0)});
    PlaybackOptions blind;
    blind.waitForScreen = 0;
    const int looks = screen.captures;
    ASSERT_TRUE(engine.run(macro, blind, listener));
    EXPECT_EQ(screen.captures, looks);
    EXPECT_NEAR(resumedAt(), 2.0 + 0.5, PlaybackEngine::screenPollInterval + 1e-9);

    // A desktop that names no windows: said before anything is posted.
    poster.clear();
    windows.now = nullptr;
    EXPECT_FALSE(engine.run(macro, blind, listener));
    EXPECT_EQ(engine.failureKind(), PlaybackEngine::FailureKind::windowsUnknown);
    EXPECT_EQ(engine.failedStep(), 2);
    EXPECT_TRUE(poster.posted().empty());

    // Nor does a screen that cannot be read let a macro with an image wait start.
    screen.failure = CaptureError{CaptureError::Kind::refused, QStringLiteral("no")};
    windows.now = [] { return std::vector<DesktopWindow>{}; };
    EXPECT_FALSE(engine.run(macro, PlaybackOptions{}, listener));
    EXPECT_EQ(engine.failureKind(), PlaybackEngine::FailureKind::screenUnreadable);
    EXPECT_TRUE(poster.posted().empty());
}

TEST_F(WaitStepTest, AnImageWaitLimitedToAWindowLooksOnlyThereAndAStricterLikenessRefusesANearMatch)
{
    // The picture is on the screen, but outside the named application's window.
    from(start, [this](ScreenImage& s) { paste(s, picture, 300, 200); });
    ScreenWait inEditor = imageWait(2);
    inEditor.app = QStringLiteral("org.example.Editor");
    inEditor.area = QRectF(0, 0, 48, 48); // taken elsewhere: no luck near its place either
    windows.now = [] {
        return std::vector<DesktopWindow>{
            {QStringLiteral("org.example.Editor"), QStringLiteral("Editor"), {}, QRectF(0, 0, 200, 150), true}};
    };
    EXPECT_FALSE(engine.run(around(inEditor), PlaybackOptions{}, listener));
    EXPECT_EQ(engine.failureKind(), PlaybackEngine::FailureKind::waitRanOut);

    // In the window: found.
    from(start, [this](ScreenImage& s) { paste(s, picture, 120, 60); });
    EXPECT_TRUE(engine.run(around(inEditor), PlaybackOptions{}, listener));

    // A slightly different picture passes the usual likeness but not one of 0.99.
    ScreenImage near = picture;
    for (int y = 0; y < near.height; y += 5)
        for (int x = 0; x < near.width; x += 5)
            set(near, x, y, {0, 0, 0});
    from(start, [&](ScreenImage& s) { paste(s, near, 100, 100); });
    ScreenWait usual = imageWait(1), strict = imageWait(1);
    strict.threshold = 0.99;
    EXPECT_TRUE(engine.run(around(usual), PlaybackOptions{}, listener));
    EXPECT_FALSE(engine.run(around(strict), PlaybackOptions{}, listener));
}
