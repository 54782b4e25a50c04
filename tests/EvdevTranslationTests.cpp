// Kernel input events to the macro's neutral events, and positions on the virtual
// absolute pointer.
#include "Platform/Linux/EvdevTranslator.h"
#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/Linux/OutputLayout.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <vector>

namespace {

struct Translated : ::testing::Test {
    std::vector<RawInputEvent> events;
    EvdevTranslator translator{[this](const RawInputEvent& e) { events.push_back(e); }};

    void send(std::uint16_t device, std::uint16_t type, std::uint16_t code, std::int32_t value, double time = 1.0)
    {
        translator.feed(device, type, code, value, time);
    }
    void sync(std::uint16_t device = 1, double time = 1.0) { send(device, EV_SYN, SYN_REPORT, 0, time); }
};

} // namespace

TEST_F(Translated, KeysCarryTheMacroNumberingAndTheModifiersHeld)
{
    send(1, EV_KEY, KEY_LEFTSHIFT, 1);
    send(1, EV_KEY, KEY_A, 1, 1.5);
    send(1, EV_KEY, KEY_A, 2, 1.6); // repeat
    send(1, EV_KEY, KEY_A, 0, 1.7);
    send(1, EV_KEY, KEY_LEFTSHIFT, 0);
    send(1, EV_KEY, KEY_RIGHTALT, 1);
    send(1, EV_KEY, KEY_Q, 1);
    send(1, EV_KEY, KEY_RIGHTALT, 0);
    send(1, EV_KEY, KEY_SYSRQ, 1); // no code in the macro numbering
    ASSERT_EQ(events.size(), 9u);
    EXPECT_EQ(events[0].type, RawEventType::flagsChanged);
    EXPECT_EQ(events[1].type, RawEventType::keyDown);
    EXPECT_EQ(events[1].keyCode, 0); // A
    EXPECT_EQ(events[1].flags, ModifierFlags::shift);
    EXPECT_EQ(events[1].time, 1.5);
    EXPECT_EQ(events[2].type, RawEventType::keyDown);
    EXPECT_EQ(events[3].type, RawEventType::keyUp);
    EXPECT_EQ(events[6].keyCode, 12); // Q
    EXPECT_EQ(events[6].flags, ModifierFlags::altGr);
    EXPECT_EQ(events[8].keyCode, KeyCodeMap::unmappedBase + KEY_SYSRQ);
    EXPECT_EQ(events[8].flags, 0u);
    EXPECT_EQ(KeyCodeMap::evdevFromMac(events[8].keyCode), KEY_SYSRQ);
}

TEST_F(Translated, MotionButtonsAndDragsFollowTheEstimatedPointer)
{
    translator.setPointer(100, 200);
    send(2, EV_REL, REL_X, 5);
    send(2, EV_REL, REL_Y, -3);
    sync(2);
    send(2, EV_KEY, BTN_LEFT, 1);
    sync(2);
    send(2, EV_REL, REL_X, 10);
    sync(2);
    send(2, EV_KEY, BTN_LEFT, 0);
    send(2, EV_KEY, BTN_SIDE, 1); // not recorded
    send(2, EV_KEY, BTN_MIDDLE, 1);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].type, RawEventType::mouseMoved);
    EXPECT_EQ(events[0].x, 105);
    EXPECT_EQ(events[0].y, 197);
    EXPECT_EQ(events[1].type, RawEventType::leftMouseDown);
    EXPECT_EQ(events[2].type, RawEventType::leftMouseDragged);
    EXPECT_EQ(events[2].x, 115);
    EXPECT_EQ(events[3].type, RawEventType::leftMouseUp);
    EXPECT_EQ(events[4].type, RawEventType::otherMouseDown);

    // Where the desktop knows the pointer, clicks take its position.
    translator.pointerPosition = [](double& x, double& y) { x = 640; y = 360; return true; };
    send(2, EV_KEY, BTN_RIGHT, 1);
    EXPECT_EQ(events.back().type, RawEventType::rightMouseDown);
    EXPECT_EQ(events.back().x, 640);
}

TEST_F(Translated, WhereTheDesktopKnowsThePointerMotionTakesItsPositionAtMostEveryFewMilliseconds)
{
    int asked = 0;
    translator.pointerPosition = [&](double& x, double& y) {
        ++asked;
        x = 10.0 * asked;
        y = 20;
        return true;
    };
    // A touchpad: absolute coordinates only the desktop can turn into a position.
    send(5, EV_ABS, ABS_MT_POSITION_X, 1200, 1.000);
    sync(5, 1.000);
    send(5, EV_ABS, ABS_MT_POSITION_X, 1210, 1.002);
    sync(5, 1.002); // too soon to ask again: nothing known moved
    send(5, EV_ABS, ABS_MT_POSITION_X, 1220, 1.010);
    sync(5, 1.010);
    // A mouse in between answers: its motion moves the last answer.
    send(6, EV_REL, REL_X, 3, 1.012);
    sync(6, 1.012);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(events[0].x, 10);
    EXPECT_EQ(events[1].x, 20);
    EXPECT_EQ(events[1].time, 1.010);
    EXPECT_EQ(events[2].x, 23);
    EXPECT_EQ(events[2].type, RawEventType::mouseMoved);
}

TEST_F(Translated, HighResolutionWheelsCountWholeClicksOncePerDevice)
{
    // A high-resolution mouse: 120ths, with the legacy click the kernel adds; half a
    // click waits for the other half.
    send(3, EV_REL, REL_WHEEL_HI_RES, 60);
    sync(3);
    EXPECT_TRUE(events.empty());
    send(3, EV_REL, REL_WHEEL_HI_RES, 60);
    send(3, EV_REL, REL_WHEEL, 1);
    sync(3);
    send(3, EV_REL, REL_HWHEEL_HI_RES, 240);
    send(3, EV_REL, REL_HWHEEL, 2);
    sync(3);
    // An old mouse on another device: whole clicks only.
    send(4, EV_REL, REL_WHEEL, -3);
    sync(4);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].type, RawEventType::scrollWheel);
    EXPECT_EQ(events[0].scrollAxis1, 1);
    EXPECT_EQ(events[1].scrollAxis1, 0);
    EXPECT_EQ(events[1].scrollAxis2, -2); // wheel right: the macro's horizontal axis is left-positive
    EXPECT_EQ(events[2].scrollAxis1, -3);
}

TEST(OutputLayout, PositionsNormaliseAgainstTheBoundingBoxOfAllOutputs)
{
    // A 4K monitor at scale 2 (1920x1080 logical) left of a 1280x1024 one that sits
    // higher (negative y), as compositors lay them out.
    const std::vector<Output> outputs = {{QStringLiteral("DP-1"), QRectF(0, 0, 1920, 1080), 2},
                                         {QStringLiteral("HDMI-A-1"), QRectF(1920, -200, 1280, 1024), 1}};
    EXPECT_EQ(OutputLayout::boundingBox(outputs), QRectF(0, -200, 3200, 1280));
    EXPECT_EQ(OutputLayout::toAbsolute(outputs, 0, -200), std::make_pair(0, 0));
    EXPECT_EQ(OutputLayout::toAbsolute(outputs, 3199, 1079), std::make_pair(32767, 32767));
    const auto [x, y] = OutputLayout::toAbsolute(outputs, 1920, 0);
    EXPECT_NEAR(x, 1920.0 / 3199 * 32767, 1);
    EXPECT_NEAR(y, 200.0 / 1279 * 32767, 1);
    EXPECT_EQ(OutputLayout::toAbsolute(outputs, -50, 5000), std::make_pair(0, 32767)); // clamped
    // A layout starting left of zero.
    const std::vector<Output> left = {{QStringLiteral("A"), QRectF(-1280, 0, 1280, 800), 1},
                                      {QStringLiteral("B"), QRectF(0, 0, 1280, 800), 1}};
    EXPECT_EQ(OutputLayout::toAbsolute(left, -1280, 0).first, 0);
    EXPECT_NEAR(OutputLayout::toAbsolute(left, 0, 0).first, 1280.0 / 2559 * 32767, 1);
    EXPECT_EQ(OutputLayout::toAbsolute({}, 10, 10), std::make_pair(0, 0));
}
