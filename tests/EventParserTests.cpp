#include "Services/EventMonitor/EventParser.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

RawInputEvent event(RawEventType type, double time, double x = 0, double y = 0)
{
    RawInputEvent e;
    e.type = type;
    e.time = time;
    e.x = x;
    e.y = y;
    return e;
}

constexpr double kBase = 100.0;

} // namespace

TEST(EventParser, MapsEachRecordedKindAndStampsTheEventsOwnTime)
{
    EventParser parser;
    using T = RawEventType;
    using A = MacroAction;
    EXPECT_EQ(parser.parse(event(T::leftMouseDown, kBase + 2.5, 812.7, 403.2), kBase),
              A::mouseDown(2.5, 812.7, 403.2, MouseButton::left));
    EXPECT_EQ(parser.parse(event(T::leftMouseUp, kBase + 3, 1, 2), kBase), A::mouseUp(3, 1, 2, MouseButton::left));
    EXPECT_EQ(parser.parse(event(T::rightMouseDown, kBase, 1, 2), kBase), A::mouseDown(0, 1, 2, MouseButton::right));
    EXPECT_EQ(parser.parse(event(T::rightMouseUp, kBase, 1, 2), kBase), A::mouseUp(0, 1, 2, MouseButton::right));
    // Every other button is the middle one.
    EXPECT_EQ(parser.parse(event(T::otherMouseDown, kBase, 1, 2), kBase), A::mouseDown(0, 1, 2, MouseButton::middle));
    EXPECT_EQ(parser.parse(event(T::otherMouseUp, kBase, 1, 2), kBase), A::mouseUp(0, 1, 2, MouseButton::middle));

    RawInputEvent key = event(T::keyDown, kBase + 1);
    key.keyCode = 0xE063;
    key.flags = 0xFFFFFFFFFFFFFFFFULL;
    EXPECT_EQ(parser.parse(key, kBase), A::keyDown(1, 0xE063, 0xFFFFFFFFFFFFFFFFULL));
    key.type = T::keyUp;
    EXPECT_EQ(parser.parse(key, kBase), A::keyUp(1, 0xE063, 0xFFFFFFFFFFFFFFFFULL));

    RawInputEvent scroll = event(T::scrollWheel, kBase, 5, 6);
    EXPECT_EQ(parser.parse(scroll, kBase), std::nullopt);
    scroll.scrollAxis1 = -3;
    EXPECT_EQ(parser.parse(scroll, kBase), A::scroll(0, 5, 6, 0, -3));
    scroll.scrollAxis1 = 0;
    scroll.scrollAxis2 = 1;
    EXPECT_EQ(parser.parse(scroll, kBase), A::scroll(0, 5, 6, 1, 0));

    // Modifier-only changes and drags with other buttons are not recorded.
    EXPECT_EQ(parser.parse(event(T::flagsChanged, kBase), kBase), std::nullopt);
    EXPECT_EQ(parser.parse(event(T::otherMouseDragged, kBase, 50, 50), kBase), std::nullopt);
    EXPECT_EQ(parser.parse(event(T::none, kBase), kBase), std::nullopt);
}

TEST(EventParser, MovementGateNeedsDistanceAndTimeAndIsSharedByMovesAndDrags)
{
    EventParser parser;
    using T = RawEventType;
    // The first move after a reset is measured from (0, 0).
    EXPECT_EQ(parser.parse(event(T::mouseMoved, kBase + 1, 1, 1), kBase), std::nullopt);
    EXPECT_EQ(parser.parse(event(T::mouseMoved, kBase + 1, 2, 0), kBase), MacroAction::mouseMove(1, 2, 0));
    // Exactly 2 points and exactly 16 ms pass.
    EXPECT_TRUE(parser.parse(event(T::mouseMoved, kBase + 1.016, 4, 0), kBase).has_value());
    // Far but too soon: dropped, and the gate keeps the older position and time.
    EXPECT_EQ(parser.parse(event(T::leftMouseDragged, kBase + 1.026, 54, 0), kBase), std::nullopt);
    EXPECT_EQ(parser.parse(event(T::rightMouseDragged, kBase + 1.032, 5, 0), kBase), std::nullopt);
    const auto drag = parser.parse(event(T::rightMouseDragged, kBase + 1.036, 54, 0), kBase);
    ASSERT_TRUE(drag.has_value());
    EXPECT_EQ(std::get<MacroAction::MouseDrag>(drag->payload), (MacroAction::MouseDrag{54, 0, MouseButton::right}));
    // Clicks neither consult nor move the gate.
    EXPECT_TRUE(parser.parse(event(T::leftMouseDown, kBase + 1.037, 54, 0), kBase).has_value());
    EXPECT_EQ(parser.parse(event(T::leftMouseDragged, kBase + 1.040, 55, 0), kBase), std::nullopt);
    EXPECT_EQ(parser.parse(event(T::mouseMoved, kBase + 2, std::nan(""), 0), kBase), std::nullopt);

    parser.reset();
    EXPECT_TRUE(parser.parse(event(T::mouseMoved, kBase, 3, 0), kBase).has_value());
}
