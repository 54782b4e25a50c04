#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeEventPoster.h"
#include "Platform/Fake/FakeSleeper.h"
#include "Models/PlaybackState.h"
#include "Services/PlaybackEngine.h"

#include <gtest/gtest.h>

namespace {

struct Recorder : PlaybackEngine::Listener {
    std::vector<std::pair<qint64, qint64>> loops;
    std::vector<double> progress;
    void loopStarted(qint64 loop, qint64 total, double) override { loops.emplace_back(loop, total); }
    void progressed(double fraction) override { progress.push_back(fraction); }
    std::vector<QString> waits;
    void waitingFor(const QString& app) override { waits.push_back(app); }
};

class PlaybackEngineTest : public ::testing::Test
{
protected:
    Macro macroOf(std::vector<MacroAction> actions)
    {
        Macro m;
        m.id = QUuid::createUuid();
        m.actions = std::move(actions);
        return m;
    }

    // Offsets of the posted events from `from`, in milliseconds (virtual time is exact).
    std::vector<double> postedAt(double from) const
    {
        std::vector<double> result;
        for (const auto& p : poster.posted())
            result.push_back(std::round((p.at - from) * 1e6) / 1e3);
        return result;
    }

    FakeClock clock{500.0};
    FakeSleeper sleeper{clock};
    FakeEventPoster poster{clock};
    PlaybackEngine engine{clock, sleeper, poster};
    Recorder listener;
};

// An action that holds nothing down, so no release follows it.
MacroAction key(double t) { return MacroAction::mouseMove(t, 1, 1); }

} // namespace

TEST_F(PlaybackEngineTest, ActionsAreDueAtTheLoopStartPlusTheirScaledOffsets)
{
    const double start = clock.now();
    PlaybackOptions fast;
    fast.speedMultiplier = 2.0;
    ASSERT_TRUE(engine.run(macroOf({key(0.5), key(1.0)}), fast, listener));
    EXPECT_EQ(postedAt(start), (std::vector<double>{250, 500}));

    // Timestamps that go backwards are posted in list order, each once it is due.
    poster.clear();
    const double second = clock.now();
    PlaybackEngine(clock, sleeper, poster).run(macroOf({key(1.0), key(0.2), key(1.5)}), {}, listener);
    EXPECT_EQ(postedAt(second), (std::vector<double>{1000, 1000, 1500}));
}

TEST_F(PlaybackEngineTest, AnOverrideSpacesActionsUniformly)
{
    const Macro m = macroOf({key(3), key(0.01), key(9), key(0), key(4)});
    PlaybackOptions spaced;
    spaced.delayOverride = 0.1;
    double start = clock.now();
    engine.run(m, spaced, listener);
    EXPECT_EQ(postedAt(start), (std::vector<double>{0, 100, 200, 300, 400}));

    poster.clear();
    spaced.delayOverride = 0.0;
    start = clock.now();
    PlaybackEngine(clock, sleeper, poster).run(m, spaced, listener);
    EXPECT_EQ(postedAt(start), (std::vector<double>(5, 0.0)));
    EXPECT_EQ(clock.now(), start); // no waiting at all
}

TEST_F(PlaybackEngineTest, LoopsRestartTheScheduleAndTheProgress)
{
    PlaybackOptions twice;
    twice.loopCount = 2;
    const double start = clock.now();
    engine.run(macroOf({key(1.2), MacroAction::delay(1.5, 0.3), key(2.0)}), twice, listener);
    // The delay action posts nothing; the second loop's first action is 1.2 s into it.
    EXPECT_EQ(postedAt(start), (std::vector<double>{1200, 2000, 3200, 4000}));
    EXPECT_EQ(listener.loops, (std::vector<std::pair<qint64, qint64>>{{1, 2}, {2, 2}}));
    EXPECT_EQ(listener.progress, (std::vector<double>{1.0 / 3, 2.0 / 3, 1, 1.0 / 3, 2.0 / 3, 1}));

    for (const qint64 count : {0LL, -3LL}) {
        PlaybackOptions once;
        once.loopCount = count;
        EXPECT_EQ(PlaybackEngine::totalLoops(once), 1);
    }
    PlaybackOptions endless;
    endless.isInfinite = true;
    endless.loopCount = 3;
    EXPECT_EQ(PlaybackEngine::totalLoops(endless), PlaybackState::endless);
}

TEST_F(PlaybackEngineTest, AnEmptyMacroPostsNothingAndAnInitialDelayWaitsFirst)
{
    EXPECT_TRUE(engine.run(macroOf({}), {}, listener));
    EXPECT_TRUE(poster.posted().empty());
    EXPECT_TRUE(listener.loops.empty());

    PlaybackOptions delayed;
    delayed.initialDelay = 2.5;
    const double start = clock.now();
    PlaybackEngine(clock, sleeper, poster).run(macroOf({key(0.5)}), delayed, listener);
    EXPECT_EQ(postedAt(start), (std::vector<double>{3000}));
}

TEST_F(PlaybackEngineTest, EventsFollowTheActionsAndFocusActivatesOnlyRunningApplications)
{
    using T = RawEventType;
    EXPECT_EQ(PlaybackEngine::eventFor(MacroAction::scroll(0, 5, 6, 3, -2)),
              (SyntheticEvent{T::scrollWheel, 5, 6, 0, 0, 0, -2, 3}));
    EXPECT_EQ(PlaybackEngine::eventFor(MacroAction::mouseDown(0, 1, 2, MouseButton::middle)),
              (SyntheticEvent{T::otherMouseDown, 1, 2, 0, 0, 2}));
    EXPECT_EQ(PlaybackEngine::eventFor(MacroAction::mouseUp(0, 1, 2, MouseButton::right)),
              (SyntheticEvent{T::rightMouseUp, 1, 2, 0, 0, 1}));
    EXPECT_EQ(PlaybackEngine::eventFor(MacroAction::mouseDrag(0, 1, 2, MouseButton::left)),
              (SyntheticEvent{T::leftMouseDragged, 1, 2, 0, 0, 0}));
    EXPECT_EQ(PlaybackEngine::eventFor(MacroAction::keyUp(0, 36, 0x100000)),
              (SyntheticEvent{T::keyUp, 0, 0, 36, 0x100000}));
    EXPECT_EQ(PlaybackEngine::eventFor(MacroAction::delay(0, 1)), std::nullopt);

    poster.setRunningApplications({QStringLiteral("org.example.Files")});
    engine.run(macroOf({MacroAction::windowFocus(0, QStringLiteral("org.example.Gone"), QStringLiteral("Gone")),
                        MacroAction::windowFocus(0.1, QStringLiteral("org.example.Files"), QStringLiteral("Files")),
                        key(0.2)}),
               {}, listener);
    ASSERT_EQ(poster.activations().size(), 1u);
    EXPECT_EQ(poster.activations()[0].id, QStringLiteral("org.example.Files"));
    EXPECT_EQ(poster.posted().size(), 1u);
}

TEST_F(PlaybackEngineTest, CancellingDuringAWaitPostsNothingMoreAndReleasesWhatIsHeld)
{
    const Macro m = macroOf({MacroAction::keyDown(0.1, 56, 0x20000), MacroAction::keyDown(0.15, 0, 0x20000),
                             MacroAction::mouseDown(0.2, 40, 50, MouseButton::right),
                             MacroAction::keyUp(0.25, 0, 0x20000), MacroAction::keyUp(5.0, 56, 0)});
    const double start = clock.now();
    sleeper.setHook([&](double deadline) {
        if (deadline >= start + 5.0)
            engine.cancel();
    });
    EXPECT_FALSE(engine.run(m, {}, listener));
    const auto posted = poster.posted();
    ASSERT_EQ(posted.size(), 6u);
    // The four actions before the wait, then the releases, then nothing.
    EXPECT_EQ(posted[4].event, (SyntheticEvent{RawEventType::keyUp, 0, 0, 56, 0}));
    EXPECT_EQ(posted[5].event, (SyntheticEvent{RawEventType::rightMouseUp, 40, 50, 0, 0, 1}));
    EXPECT_EQ(poster.modifierReleases(), 1);
    EXPECT_EQ(listener.progress.back(), 0.8);

    // A playback that ends by itself releases too.
    poster.clear();
    sleeper.setHook(nullptr);
    sleeper.reset();
    PlaybackEngine(clock, sleeper, poster).run(macroOf({MacroAction::mouseDown(0, 1, 2, MouseButton::left)}), {}, listener);
    ASSERT_EQ(poster.posted().size(), 2u);
    EXPECT_EQ(poster.posted()[1].event.type, RawEventType::leftMouseUp);
    EXPECT_EQ(poster.modifierReleases(), 1);
}

TEST_F(PlaybackEngineTest, WaitingForEachApplicationShiftsTheScheduleOrStopsAndReleases)
{
    poster.setRunningApplications({QStringLiteral("org.example.Editor")});
    const Macro macro = macroOf({MacroAction::windowFocus(0.1, QStringLiteral("org.example.Editor"), QStringLiteral("Editor")),
                                 MacroAction::keyDown(0.2, 0, 0), MacroAction::keyUp(0.3, 0, 0)});
    PlaybackOptions wait;
    wait.waitForApplications = 5;

    // The editor comes to the front 2 s after it was asked: the keys follow 2 s later.
    const double start = clock.now();
    poster.frontmost = [&]() -> std::optional<QString> {
        return clock.now() >= start + 2.1 ? QStringLiteral("org.example.Editor") : QStringLiteral("org.example.Terminal");
    };
    ASSERT_TRUE(engine.run(macro, wait, listener));
    const auto at = postedAt(start);
    ASSERT_GE(at.size(), 2u);
    EXPECT_NEAR(at[0], 2200, PlaybackEngine::frontmostPollInterval * 1000 + 1e-6);
    EXPECT_NEAR(at[1], 2300, PlaybackEngine::frontmostPollInterval * 1000 + 1e-6);
    EXPECT_EQ(listener.waits, (std::vector<QString>{QStringLiteral("Editor"), QString()}));
    EXPECT_FALSE(engine.failure());

    // It never does: the playback stops there, says which, and posts none of the keys.
    poster.clear();
    listener.waits.clear();
    poster.frontmost = [] { return std::optional<QString>(QStringLiteral("org.example.Terminal")); };
    const double second = clock.now();
    EXPECT_FALSE(engine.run(macro, wait, listener));
    ASSERT_TRUE(engine.failure());
    EXPECT_TRUE(engine.failure()->startsWith(QStringLiteral("Editor is not running or did not come to the front within 5 s")));
    EXPECT_TRUE(poster.posted().empty());
    EXPECT_GE(clock.now() - second, 5.1 - 1e-9);
    EXPECT_GE(poster.modifierReleases(), 1);
    EXPECT_EQ(listener.waits.back(), QString());

    // Without the option, or where the poster cannot tell, nobody waits.
    poster.clear();
    EXPECT_TRUE(engine.run(macro, {}, listener));
    poster.frontmost = nullptr;
    EXPECT_TRUE(engine.run(macro, wait, listener));
}

TEST_F(PlaybackEngineTest, ASwitchToQuilloItselfIsNeitherReplayedNorWaitedFor)
{
    // A recording started from Quillo's window begins with a switch to Quillo, which
    // steps aside while it plays: waiting for it could only fail.
    poster.setRunningApplications({QStringLiteral("quillo"), QStringLiteral("org.example.Editor")});
    poster.frontmost = [] { return std::optional<QString>(QStringLiteral("org.example.Editor")); };
    engine.setOwnApplicationId(QStringLiteral("quillo"));
    const Macro macro = macroOf({MacroAction::windowFocus(0, QStringLiteral("quillo"), QStringLiteral("Quillo")),
                                 MacroAction::keyDown(0.1, 0, 0), MacroAction::keyUp(0.2, 0, 0)});
    PlaybackOptions wait;
    wait.waitForApplications = 3;
    const double start = clock.now();
    ASSERT_TRUE(engine.run(macro, wait, listener));
    EXPECT_FALSE(engine.failure());
    EXPECT_TRUE(listener.waits.empty());
    EXPECT_TRUE(poster.activations().empty());
    EXPECT_EQ(postedAt(start), (std::vector<double>{100, 200}));

    // Another application is still waited for, with the failure naming it.
    poster.clear();
    const Macro editor = macroOf({MacroAction::windowFocus(0, QStringLiteral("org.example.Notes"), QStringLiteral("Notes")),
                                  MacroAction::keyDown(0.1, 0, 0)});
    EXPECT_FALSE(engine.run(editor, wait, listener));
    ASSERT_TRUE(engine.failure());
    EXPECT_TRUE(engine.failure()->startsWith(QStringLiteral("Notes is not running or did not come to the front within 3 s")));
}
