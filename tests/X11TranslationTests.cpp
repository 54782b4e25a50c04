#include "Platform/Linux/KeyCodeMap.h"
#include "Platform/X11/X11EventTranslator.h"

#include <gtest/gtest.h>

namespace T = X11EventTranslator;

TEST(X11Translation, KeyCodesMapBothWaysAndUnknownKeysKeepTheirEvdevCode)
{
    EXPECT_EQ(KeyCodeMap::macFromEvdev(30), 0);    // A
    EXPECT_EQ(KeyCodeMap::macFromEvdev(28), 36);   // Return
    EXPECT_EQ(KeyCodeMap::macFromEvdev(103), 126); // Up
    EXPECT_EQ(KeyCodeMap::macFromEvdev(99), 0xE000 + 99); // Print has no macOS code
    for (int evdev = 1; evdev < 256; ++evdev) {
        const auto back = KeyCodeMap::evdevFromMac(KeyCodeMap::macFromEvdev(evdev));
        ASSERT_TRUE(back.has_value()) << evdev;
        EXPECT_EQ(*back, evdev);
    }
    EXPECT_EQ(KeyCodeMap::evdevFromMac(52), std::nullopt); // a macOS code that names no key
    EXPECT_EQ(KeyCodeMap::evdevFromMac(127), std::nullopt);
}

TEST(X11Translation, KeysCarryTheirFlagsAndModifierKeysAreFlagChanges)
{
    // 'a' (X keycode 38) with Shift and Super held.
    RawInputEvent e = T::translate(T::xKeyPress, 38, 0x1 | 0x40, 10, 20);
    EXPECT_EQ(e.type, RawEventType::keyDown);
    EXPECT_EQ(e.keyCode, 0);
    EXPECT_EQ(e.flags, ModifierFlags::shift | ModifierFlags::command);
    EXPECT_EQ(T::translate(T::xKeyRelease, 38, 0x2 | 0x4 | 0x8, 0, 0).flags,
              ModifierFlags::capsLock | ModifierFlags::control | ModifierFlags::option);
    EXPECT_EQ(T::translate(T::xKeyRelease, 38, 0x10 /* Num Lock */, 0, 0).flags, 0u);
    // Shift_L (50) pressed: a flag change with the state after it; released: cleared.
    e = T::translate(T::xKeyPress, 50, 0, 0, 0);
    EXPECT_EQ(e.type, RawEventType::flagsChanged);
    EXPECT_EQ(e.flags, ModifierFlags::shift);
    EXPECT_EQ(T::translate(T::xKeyRelease, 50, 0x1, 0, 0).flags, 0u);
    EXPECT_EQ(T::translate(T::xKeyPress, 133, 0, 0, 0).type, RawEventType::flagsChanged); // Super_L
    EXPECT_EQ(T::translate(T::xKeyPress, 92, 0, 0, 0).type, RawEventType::flagsChanged);  // ISO level 3
    EXPECT_EQ(T::stateFromFlags(T::flagsFromState(0x4F)), 0x4Fu);
    // AltGr (Mod5) is option with the right-option bit, and back; plain option is Alt.
    EXPECT_EQ(T::translate(T::xKeyPress, 24, 0x80, 0, 0).flags, ModifierFlags::option | 0x40);
    EXPECT_EQ(T::stateFromFlags(ModifierFlags::option | 0x40 | ModifierFlags::shift), 0x80u | 0x1u);
    EXPECT_EQ(T::stateFromFlags(ModifierFlags::option), 0x8u);
    EXPECT_EQ(T::stateFromFlags(0x8000'0000'0000'0100ULL), 0u); // unknown bits are ignored
}

TEST(X11Translation, ButtonsWheelsAndMotionBecomeTheNeutralTypes)
{
    struct Case {
        int type, detail;
        unsigned state;
        RawEventType expected;
        int axis1, axis2;
    };
    using R = RawEventType;
    const Case cases[] = {
        {T::xButtonPress, 1, 0, R::leftMouseDown, 0, 0},
        {T::xButtonRelease, 1, 0x100, R::leftMouseUp, 0, 0},
        {T::xButtonPress, 3, 0, R::rightMouseDown, 0, 0},
        {T::xButtonRelease, 3, 0, R::rightMouseUp, 0, 0},
        {T::xButtonPress, 2, 0, R::otherMouseDown, 0, 0},
        // Back and forward are not recorded: as a middle click they would paste.
        {T::xButtonPress, 8, 0, R::none, 0, 0},
        {T::xButtonRelease, 9, 0, R::none, 0, 0},
        {T::xButtonPress, 4, 0, R::scrollWheel, 1, 0},
        {T::xButtonPress, 5, 0, R::scrollWheel, -1, 0},
        {T::xButtonPress, 6, 0, R::scrollWheel, 0, 1},
        {T::xButtonPress, 7, 0, R::scrollWheel, 0, -1},
        {T::xButtonRelease, 4, 0, R::none, 0, 0},
        {T::xMotionNotify, 0, 0, R::mouseMoved, 0, 0},
        {T::xMotionNotify, 0, 0x100 | 0x400, R::leftMouseDragged, 0, 0},
        {T::xMotionNotify, 0, 0x400, R::rightMouseDragged, 0, 0},
        {T::xMotionNotify, 0, 0x200, R::otherMouseDragged, 0, 0},
        {33, 0, 0, R::none, 0, 0},
    };
    for (const Case& c : cases) {
        const RawInputEvent e = T::translate(c.type, c.detail, c.state, -5, 7);
        EXPECT_EQ(e.type, c.expected) << c.type << "/" << c.detail;
        EXPECT_EQ(e.scrollAxis1, c.axis1) << c.detail;
        EXPECT_EQ(e.scrollAxis2, c.axis2) << c.detail;
        EXPECT_EQ(e.x, -5);
        EXPECT_EQ(e.y, 7);
    }
}
