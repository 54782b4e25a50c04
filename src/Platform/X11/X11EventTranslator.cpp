#include "Platform/X11/X11EventTranslator.h"

#include "Platform/Linux/KeyCodeMap.h"

#include <utility>

namespace X11EventTranslator {

namespace {

// X modifier and button masks.
constexpr unsigned shiftMask = 1u << 0;
constexpr unsigned lockMask = 1u << 1;
constexpr unsigned controlMask = 1u << 2;
constexpr unsigned mod1Mask = 1u << 3;
constexpr unsigned mod4Mask = 1u << 6;
constexpr unsigned mod5Mask = 1u << 7;
constexpr unsigned button1Mask = 1u << 8;
constexpr unsigned button2Mask = 1u << 9;
constexpr unsigned button3Mask = 1u << 10;

constexpr std::pair<unsigned, std::uint64_t> kModifiers[] = {
    {lockMask, ModifierFlags::capsLock}, {shiftMask, ModifierFlags::shift},
    {controlMask, ModifierFlags::control}, {mod1Mask, ModifierFlags::option},
    {mod4Mask, ModifierFlags::command}, {mod5Mask, ModifierFlags::altGr},
};

} // namespace

std::uint64_t flagsFromState(unsigned state)
{
    std::uint64_t flags = 0;
    for (const auto& [mask, flag] : kModifiers) {
        if (state & mask)
            flags |= flag;
    }
    return flags;
}

unsigned stateFromFlags(std::uint64_t flags)
{
    unsigned state = 0;
    // Option with the right-option bit is AltGr, not Alt.
    const bool altGr = (flags & ModifierFlags::altGr) == ModifierFlags::altGr;
    for (const auto& [mask, flag] : kModifiers) {
        if ((flags & flag) == flag && !(altGr && mask == mod1Mask))
            state |= mask;
    }
    return state;
}

RawInputEvent translate(int type, int detail, unsigned state, int rootX, int rootY)
{
    RawInputEvent event;
    event.x = rootX;
    event.y = rootY;
    event.flags = flagsFromState(state);
    switch (type) {
    case xKeyPress:
    case xKeyRelease: {
        const int evdev = detail - KeyCodeMap::xKeycodeOffset;
        event.keyCode = KeyCodeMap::macFromEvdev(evdev);
        if (KeyCodeMap::isModifierKey(evdev)) {
            // The state is the one before the event; report the one after it.
            const std::uint64_t flag = KeyCodeMap::modifierFlag(evdev);
            event.flags = type == xKeyPress ? event.flags | flag : event.flags & ~flag;
            event.type = RawEventType::flagsChanged;
        } else {
            event.type = type == xKeyPress ? RawEventType::keyDown : RawEventType::keyUp;
        }
        return event;
    }
    case xButtonPress:
    case xButtonRelease: {
        const bool press = type == xButtonPress;
        switch (detail) {
        case 1:
            event.type = press ? RawEventType::leftMouseDown : RawEventType::leftMouseUp;
            return event;
        case 3:
            event.type = press ? RawEventType::rightMouseDown : RawEventType::rightMouseUp;
            return event;
        case 4:
        case 5:
        case 6:
        case 7:
            // A wheel step is a press and a release; the press is the scroll.
            if (press) {
                event.type = RawEventType::scrollWheel;
                if (detail <= 5)
                    event.scrollAxis1 = detail == 4 ? 1 : -1;
                else
                    event.scrollAxis2 = detail == 6 ? 1 : -1;
            }
            return event;
        case 2:
            event.type = press ? RawEventType::otherMouseDown : RawEventType::otherMouseUp;
            return event;
        default:
            return event;
        }
    }
    case xMotionNotify:
        if (state & button1Mask)
            event.type = RawEventType::leftMouseDragged;
        else if (state & button3Mask)
            event.type = RawEventType::rightMouseDragged;
        else if (state & button2Mask)
            event.type = RawEventType::otherMouseDragged;
        else
            event.type = RawEventType::mouseMoved;
        return event;
    default:
        return event;
    }
}

} // namespace X11EventTranslator
