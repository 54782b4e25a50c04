#include "TestMacros.h"

#include <gtest/gtest.h>

TEST(MacroAction, DisplayNamesFollowTheActionList)
{
    using A = MacroAction;
    EXPECT_EQ(A::keyDown(0, 36, 0x20000).displayName(), QStringLiteral("Key Down (36)"));
    EXPECT_EQ(A::keyUp(0, 65535, 0).displayName(), QStringLiteral("Key Up (65535)"));
    EXPECT_EQ(A::mouseMove(0, -0.9, 10.99).displayName(), QStringLiteral("Mouse Move (0, 10)"));
    EXPECT_EQ(A::mouseDown(0, 812.7, 403.2, MouseButton::left).displayName(),
              QStringLiteral("Left Click Down (812, 403)"));
    EXPECT_EQ(A::mouseUp(0, -3.5, 2, MouseButton::right).displayName(),
              QStringLiteral("Right Click Up (-3, 2)"));
    EXPECT_EQ(A::mouseDrag(0, 1, 2, MouseButton::middle).displayName(),
              QStringLiteral("Middle Drag (1, 2)"));
    EXPECT_EQ(A::scroll(0, 5, 5, 0, -3).displayName(), QStringLiteral("Scroll (0, -3)"));
    EXPECT_EQ(A::windowFocus(0, QStringLiteral("org.x"), QStringLiteral("Files")).displayName(),
              QStringLiteral("Focus \u2192 Files"));
    EXPECT_EQ(A::delay(0, 1.5).displayName(), QStringLiteral("Delay 1.50s"));
    EXPECT_EQ(A::delay(0, 0.005).displayName(), QStringLiteral("Delay 0.01s"));
    // Values no recording produces still give a readable line, never a bad conversion.
    EXPECT_EQ(A::mouseMove(0, std::nan(""), 1e20).displayName(),
              QStringLiteral("Mouse Move (?, 100000000000000000000)"));
}

TEST(Macro, TotalDurationIsTheLastTimestampAndEqualityIsFieldByField)
{
    Macro m = TestMacros::small();
    EXPECT_EQ(m.totalDuration(), 1.5);
    m.actions.push_back(MacroAction::keyUp(0.75, 36, 0));
    EXPECT_EQ(m.totalDuration(), 0.75);
    m.actions.clear();
    EXPECT_EQ(m.totalDuration(), 0.0);

    const Macro a = TestMacros::small();
    Macro b = a;
    EXPECT_EQ(a, b);
    std::get<MacroAction::KeyDown>(b.actions[1].payload).flags ^= 0x20000;
    EXPECT_NE(a, b);
    // A copied focus action is a value of its own: replacing it leaves the original.
    Macro c = a;
    c.actions[0] =
        MacroAction::windowFocus(0, QStringLiteral("org.example.Editor"), QStringLiteral("Other"));
    EXPECT_EQ(std::get<MacroAction::WindowFocus>(a.actions[0].payload).appName(),
              QStringLiteral("Editor"));
    EXPECT_NE(a, c);
    c.actions[0] =
        MacroAction::windowFocus(0, QStringLiteral("org.example.Editor"), QStringLiteral("Editor"));
    EXPECT_EQ(a, c);
    Macro d = a;
    d.metadata.tags.append(QStringLiteral("x"));
    EXPECT_NE(a, d);
}

TEST(Macro, FromRecordingFillsTheMetadata)
{
    const QDateTime now = TestMacros::date(2026, 12, 8, 9, 0, 0);
    const Macro m = Macro::fromRecording(QStringLiteral("Login"), TestMacros::small().actions, now);
    EXPECT_FALSE(m.id.isNull());
    EXPECT_NE(m.id, Macro::fromRecording(QStringLiteral("Login"), {}, now).id);
    EXPECT_EQ(m.version, 1);
    EXPECT_EQ(m.metadata, (MacroMetadata{QStringLiteral("Login"), now, now, 4, 1.5, {}}));
}
