// Edits change a macro's timing only where they happen, on exact timestamps.
#include "Library/ActionRetiming.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace ActionRetiming;

// Keys at the given times (their codes are their positions, to follow them around).
std::vector<MacroAction> keysAt(const std::vector<double>& times)
{
    std::vector<MacroAction> actions;
    for (std::size_t i = 0; i < times.size(); ++i)
        actions.push_back(MacroAction::keyDown(times[i], std::uint16_t(i), 0));
    return actions;
}

std::vector<double> timesOf(const std::vector<MacroAction>& actions)
{
    std::vector<double> times;
    for (const MacroAction& a : actions)
        times.push_back(a.timestamp);
    return times;
}

std::vector<int> codesOf(const std::vector<MacroAction>& actions)
{
    std::vector<int> codes;
    for (const MacroAction& a : actions)
        if (const auto* down = std::get_if<MacroAction::KeyDown>(&a.payload))
            codes.push_back(down->keyCode);
        else if (const auto* up = std::get_if<MacroAction::KeyUp>(&a.payload))
            codes.push_back(up->keyCode);
        else
            codes.push_back(-1);
    return codes;
}

void expectTimes(const std::vector<MacroAction>& actions, const std::vector<double>& expected)
{
    ASSERT_EQ(actions.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actions[i].timestamp, expected[i], 1e-12) << "action " << i;
}

} // namespace

TEST(ActionRetiming, DeletingLeavesEverySurvivorAtItsRecordedTime)
{
    // Typing at 21 ms a key with a press and release 0 apart: nothing is rounded up.
    const std::vector<double> typed{0.5, 0.521, 0.521, 0.542, 0.563, 0.9};
    std::vector<MacroAction> a = keysAt(typed);
    deleteActions(a, {2}); // middle
    expectTimes(a, {0.5, 0.521, 0.542, 0.563, 0.9});
    deleteActions(a, {0}); // start: the new first action stays where it was
    expectTimes(a, {0.521, 0.542, 0.563, 0.9});
    deleteActions(a, {3}); // end
    expectTimes(a, {0.521, 0.542, 0.563});
    deleteActions(a, {0, 1}); // a run, at the start
    expectTimes(a, {0.563});
    EXPECT_EQ(codesOf(a), (std::vector<int>{4}));

    // A deleted delay takes its pause with it, before and after the first survivor.
    std::vector<MacroAction> d{MacroAction::delay(0, 2.0), MacroAction::keyDown(2.25, 1, 0), MacroAction::delay(2.25, 1.0),
                               MacroAction::keyDown(3.5, 2, 0)};
    deleteActions(d, {2});
    expectTimes(d, {0, 2.25, 2.5});
    deleteActions(d, {0});
    expectTimes(d, {0.25, 0.5});
}

TEST(ActionRetiming, MovedBlocksKeepTheirGapsAndTheRestKeepsItsOwn)
{
    // Gaps: -, 0.1, 0.2, 0.3, 0.4 (starting at 1.0).
    std::vector<MacroAction> a = keysAt({1.0, 1.1, 1.3, 1.6, 2.0});
    moveActions(a, {1, 2}, 4); // down: before the last
    EXPECT_EQ(codesOf(a), (std::vector<int>{0, 3, 1, 2, 4}));
    // 3 keeps its 0.3, the block its 0.1 and inner 0.2, 4 its 0.4.
    expectTimes(a, {1.0, 1.3, 1.4, 1.6, 2.0});
    moveActions(a, {2, 3}, 1); // and back up
    EXPECT_EQ(codesOf(a), (std::vector<int>{0, 1, 2, 3, 4}));
    expectTimes(a, {1.0, 1.1, 1.3, 1.6, 2.0});
    moveActions(a, {4}, 0); // to the front: it starts the macro, the old first follows at 0
    EXPECT_EQ(codesOf(a), (std::vector<int>{4, 0, 1, 2, 3}));
    expectTimes(a, {1.0, 1.0, 1.1, 1.3, 1.6});
}

TEST(ActionRetiming, InsertionsPushWhatFollowsBackByTheirOwnSpan)
{
    std::vector<MacroAction> a = keysAt({0, 0.5, 0.5, 1.0});
    insertDelay(a, 1, 1.0);
    EXPECT_EQ(a[2].type(), ActionType::delay);
    expectTimes(a, {0, 0.5, 0.5, 1.5, 2.0}); // the zero gap after it stays zero
    insertDelay(a, -1, 0.25);
    expectTimes(a, {0, 0.25, 0.75, 0.75, 1.75, 2.25});
    // Typed keys: their own rhythm, the first 0.1 after the action before them.
    const std::vector<MacroAction> typed = keysAt({7.0, 7.02, 7.05});
    insertActions(a, 5, typed, 0.1);
    expectTimes(a, {0, 0.25, 0.75, 0.75, 1.75, 2.25, 2.35, 2.37, 2.40});
    // Deleting what was inserted gives the same times back (gaps travel, nothing doubles).
    deleteActions(a, {6, 7, 8});
    deleteActions(a, {0});
    deleteActions(a, {2});
    expectTimes(a, {0, 0.5, 0.5, 1.0});
}

TEST(ActionRetiming, ChangedGapsMoveOnlyWhatComesAfter)
{
    std::vector<MacroAction> a = keysAt({0.2, 0.3, 0.5, 0.8});
    setGaps(a, {2}, 0.0);
    expectTimes(a, {0.2, 0.3, 0.3, 0.6});
    scaleGaps(a, {1, 3}, 2.0);
    expectTimes(a, {0.2, 0.4, 0.4, 1.0});
    setGaps(a, {0}, 5.0); // the first action has no gap to change
    expectTimes(a, {0.2, 0.4, 0.4, 1.0});
    replaceAction(a, 2, MacroAction::keyUp(99, 7, 0), 0.05);
    expectTimes(a, {0.2, 0.4, 0.45, 1.05});
    EXPECT_EQ(a[2].type(), ActionType::keyUp);
}

TEST(ActionRetiming, RepeatedRandomEditsKeepEveryUntouchedGap)
{
    // Over many edits of already edited lists: deletes leave every survivor at its
    // recorded time, and moves (away from the front) leave every action its recorded gap.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> gap(0.0, 0.08);
    for (int round = 0; round < 300; ++round) {
        std::vector<MacroAction> a;
        double t = gap(rng) * 10;
        for (int i = 0; i < 20; ++i) {
            a.push_back(MacroAction::keyDown(t, std::uint16_t(i), 0));
            t += rng() % 4 == 0 ? 0.0 : gap(rng);
        }
        const std::vector<MacroAction> recorded = a;
        const std::vector<double> recordedGaps = gaps(a);

        std::vector<MacroAction> moved = a;
        for (int edit = 0; edit < 8; ++edit)
            moveActions(moved, {1 + int(rng() % (moved.size() - 1))}, 1 + int(rng() % moved.size()));
        const std::vector<int> codes = codesOf(moved);
        const std::vector<double> now = gaps(moved);
        ASSERT_EQ(codes.front(), 0) << round;
        for (std::size_t i = 1; i < codes.size(); ++i)
            ASSERT_NEAR(now[i], recordedGaps[std::size_t(codes[i])], 1e-9) << round;
        // Walking the list again changes nothing.
        std::vector<MacroAction> again = moved;
        walk(again, gaps(again), again.front().timestamp);
        ASSERT_EQ(again, moved) << round;

        for (int edit = 0; edit < 8; ++edit)
            deleteActions(a, {int(rng() % a.size())});
        for (const MacroAction& survivor : a)
            ASSERT_EQ(survivor.timestamp, recorded[std::size_t(codesOf({survivor}).front())].timestamp) << round;
    }
    // Out-of-order or non-finite times from a hand-made file become zero gaps.
    std::vector<MacroAction> odd = keysAt({1.0, 0.5, std::nan(""), 2.0});
    walk(odd, gaps(odd), odd.front().timestamp);
    expectTimes(odd, {1.0, 1.0, 1.0, 2.0});
}
