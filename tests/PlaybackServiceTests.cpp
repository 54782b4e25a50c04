#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeEventPoster.h"
#include "Platform/Fake/FakeSleeper.h"
#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Services/PlaybackService.h"
#include "TestWait.h"
#include "ViewModels/PlaybackViewModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>

namespace {

class PlaybackServiceTest : public ::testing::Test
{
protected:
    PlaybackServiceTest()
    {
        macro.id = QUuid::createUuid();
        for (int i = 0; i < 10; ++i)
            macro.actions.push_back(MacroAction::keyUp(0.1 * (i + 1), std::uint16_t(i), 0));
        QObject::connect(&service, &PlaybackService::stateChanged, [this] { states.push_back(service.state()); });
    }

    FakeClock clock;
    FakeSleeper sleeper{clock};
    FakeEventPoster poster{clock};
    PlaybackService service{poster, clock, sleeper};
    Macro macro;
    std::vector<PlaybackState> states;
};

} // namespace

TEST_F(PlaybackServiceTest, PlaysOnItsOwnThreadAndPublishesOnTheMainThread)
{
    service.play(macro, {});
    ASSERT_TRUE(waitUntil([&] { return !service.isBusy(); }));
    EXPECT_EQ(poster.posted().size(), 10u);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), PlaybackState::playing(macro.id, 1, 1));
    EXPECT_EQ(states.back(), PlaybackState::idle());
    EXPECT_EQ(service.progress(), 0.0);
}

TEST_F(PlaybackServiceTest, StopEndsAtOnceReleasesAndPostsNothingAfterwards)
{
    PlaybackOptions endless;
    endless.isInfinite = true;
    macro.actions.insert(macro.actions.begin(), MacroAction::mouseDown(0.05, 1, 1, MouseButton::left));
    sleeper.holdFrom(clock.now() + 0.35);
    service.play(macro, endless);
    ASSERT_TRUE(waitUntil([&] { return sleeper.isHolding() && service.progress() > 0; }));
    EXPECT_EQ(service.state(), PlaybackState::playing(macro.id, 1, PlaybackState::endless));
    EXPECT_TRUE(service.state().isEndless());

    service.play(macro, {}); // busy: ignored, the playback goes on undisturbed
    service.stop();
    EXPECT_EQ(service.state(), PlaybackState::idle());
    EXPECT_EQ(service.progress(), 0.0);
    const auto posted = poster.posted();
    ASSERT_EQ(posted.size(), 5u); // the button, three keys, then the button's release
    EXPECT_EQ(posted.back().event, (SyntheticEvent{RawEventType::leftMouseUp, 1, 1}));
    EXPECT_EQ(poster.modifierReleases(), 1);
    waitUntil([] { return false; }, 100); // late reports of the stopped playback change nothing
    EXPECT_EQ(service.state(), PlaybackState::idle());
    EXPECT_EQ(poster.posted().size(), posted.size());

    service.stop(); // nothing plays: no effect
    EXPECT_EQ(service.state(), PlaybackState::idle());
}

TEST_F(PlaybackServiceTest, RefusesSpeedsThatAreNotPositiveAndWaitsForAnInitialDelayAsBusy)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (const double speed : {0.0, -1.0, std::nan(""), inf}) {
        PlaybackOptions bad;
        bad.speedMultiplier = speed;
        service.play(macro, bad);
        EXPECT_FALSE(service.isBusy()) << speed;
    }
    for (const double delay : {inf, std::nan(""), -1.0}) {
        PlaybackOptions spaced, delayed;
        spaced.delayOverride = delay;
        delayed.initialDelay = delay;
        service.play(macro, spaced);
        service.play(macro, delayed);
        EXPECT_FALSE(service.isBusy()) << delay;
    }
    // Nothing to play finishes at once, also endlessly.
    PlaybackOptions endless;
    endless.isInfinite = true;
    service.play(Macro{}, endless);
    EXPECT_FALSE(service.isBusy());
    PlaybackOptions delayed;
    delayed.initialDelay = 3;
    sleeper.holdFrom(clock.now());
    service.play(macro, delayed);
    ASSERT_TRUE(waitUntil([&] { return sleeper.isHolding(); }));
    EXPECT_EQ(service.state(), PlaybackState::idle()); // idle during the delay ...
    EXPECT_TRUE(service.isBusy());                     // ... but a second playback waits
    Macro other = macro;
    other.id = QUuid::createUuid();
    service.play(other, {});
    sleeper.release();
    ASSERT_TRUE(waitUntil([&] { return !service.isBusy(); }));
    EXPECT_EQ(poster.posted().size(), 10u);
    for (const auto& s : states)
        EXPECT_TRUE(s.kind == PlaybackState::Kind::idle || s.macroId == macro.id);
}

TEST(SystemSleeper, FarAndEndlessWaitsSleepAndAreCutShortAtOnce)
{
    // Deadlines past what the standard clocks hold (about 292 years) once made the wait
    // spin without letting go of its lock, so that nothing could stop it.
    for (const double away : {1e12, std::numeric_limits<double>::infinity(), std::nan("")}) {
        SystemSleeper sleeper;
        std::atomic<double> cpuSeconds{-1};
        std::atomic<bool> result{true};
        QThread* thread = QThread::create([&] {
            result = sleeper.sleepUntil(SystemClock::instance().now() + away);
            timespec cpu{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            cpuSeconds = double(cpu.tv_sec) + double(cpu.tv_nsec) / 1e9;
        });
        thread->start();
        QThread::msleep(200);
        QElapsedTimer woken;
        woken.start();
        sleeper.wake();
        ASSERT_TRUE(thread->wait(2000)) << away;
        EXPECT_LT(woken.elapsed(), 500) << away;
        EXPECT_FALSE(result) << away;
        EXPECT_LT(cpuSeconds, 0.05) << away << ": the wait used the processor";
        delete thread;
    }
}

TEST(PlaybackViewModel, KeepsTheOptionsInStepWithTheControls)
{
    PlaybackViewModel vm;
    EXPECT_EQ(vm.options(), PlaybackOptions{});
    vm.setUseDelayOverride(true);
    EXPECT_EQ(vm.options().delayOverride, 0.1);
    vm.setUseDelayOverride(false);
    vm.setDelayOverrideValue(0.5);
    EXPECT_EQ(vm.options().delayOverride, std::nullopt);
    vm.setUseDelayOverride(true);
    EXPECT_EQ(vm.options().delayOverride, 0.5);
    vm.setUseDelayOverride(false);
    EXPECT_EQ(vm.delayOverrideValue(), 0.5);
    vm.setLoopCount(7);
    vm.setInfiniteLoop(true);
    EXPECT_EQ(vm.options().loopCount, 7);
    EXPECT_TRUE(vm.options().isInfinite);

    const std::pair<double, const char*> labels[] = {
        {1.0, "1\u00d7 (Normal)"}, {0.25, "0.25\u00d7"}, {0.5, "0.5\u00d7"}, {2.0, "2\u00d7"}, {4.0, "4\u00d7"}, {1.75, "1.8\u00d7"},
        {1.25, "1.2\u00d7"}, {3.25, "3.2\u00d7"}}; // printf's rounding of ties
    for (const auto& [speed, label] : labels) {
        vm.setSpeedMultiplier(speed);
        EXPECT_EQ(vm.speedLabel(), QString::fromUtf8(label));
        EXPECT_EQ(vm.options().speedMultiplier, speed);
    }
}
