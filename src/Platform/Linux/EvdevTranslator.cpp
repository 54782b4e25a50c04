#include "Platform/Linux/EvdevTranslator.h"

#include "Platform/Linux/KeyCodeMap.h"

#include <linux/input-event-codes.h>

void EvdevTranslator::setPointer(double x, double y)
{
    m_x = x;
    m_y = y;
}

void EvdevTranslator::refreshPointer()
{
    double x = 0, y = 0;
    if (pointerPosition && pointerPosition(x, y))
        setPointer(x, y);
}

void EvdevTranslator::emit(RawEventType type, double time, std::uint16_t keyCode, std::int32_t axis1, std::int32_t axis2)
{
    RawInputEvent e;
    e.type = type;
    e.time = time;
    e.x = m_x;
    e.y = m_y;
    e.keyCode = keyCode;
    e.flags = m_flags;
    e.scrollAxis1 = axis1;
    e.scrollAxis2 = axis2;
    m_sink(e);
}

void EvdevTranslator::feed(std::uint16_t deviceId, std::uint16_t type, std::uint16_t code, std::int32_t value,
                           double time)
{
    Device& device = m_devices[deviceId];
    switch (type) {
    case EV_KEY:
        if (code == BTN_LEFT || code == BTN_RIGHT || code == BTN_MIDDLE)
            button(code, value, time);
        else if (code < BTN_MISC || code >= KEY_OK) // other buttons (side, extra, touch) are not keys
            key(code, value, time);
        break;
    case EV_REL:
        switch (code) {
        case REL_X: device.dx += value; device.moved = true; break;
        case REL_Y: device.dy += value; device.moved = true; break;
        case REL_WHEEL_HI_RES: device.sendsHiRes = true; device.wheelHiRes += value; break;
        case REL_HWHEEL_HI_RES: device.sendsHiRes = true; device.hwheelHiRes += value; break;
        case REL_WHEEL: device.wheelClicks += value; break;
        case REL_HWHEEL: device.hwheelClicks += value; break;
        default: break;
        }
        break;
    case EV_ABS:
        if (code == ABS_X || code == ABS_Y || code == ABS_MT_POSITION_X || code == ABS_MT_POSITION_Y)
            device.touched = true;
        break;
    case EV_SYN:
        if (code == SYN_REPORT)
            report(device, time);
        break;
    default:
        break;
    }
}

void EvdevTranslator::key(std::uint16_t code, std::int32_t value, double time)
{
    // Right Alt is AltGr: recorded as option plus the right-option bit, replayed as that key.
    const std::uint64_t flag = code == KEY_RIGHTALT ? ModifierFlags::altGr : KeyCodeMap::modifierFlag(code);
    if (code == KEY_CAPSLOCK) {
        if (value == 1)
            m_flags ^= ModifierFlags::capsLock;
        emit(RawEventType::flagsChanged, time, KeyCodeMap::macFromEvdev(code));
        return;
    }
    if (flag != 0 || KeyCodeMap::isModifierKey(code)) {
        if (value == 1)
            m_flags |= flag;
        else if (value == 0)
            m_flags &= ~flag;
        if (value != 2)
            emit(RawEventType::flagsChanged, time, KeyCodeMap::macFromEvdev(code));
        return;
    }
    // A held key repeats as further presses, as the X server reports it.
    emit(value == 0 ? RawEventType::keyUp : RawEventType::keyDown, time, KeyCodeMap::macFromEvdev(code));
}

void EvdevTranslator::button(std::uint16_t code, std::int32_t value, double time)
{
    const int bit = code == BTN_LEFT ? 1 : code == BTN_RIGHT ? 2 : 4;
    if (value == 2)
        return;
    refreshPointer();
    if (value == 1)
        m_buttons |= bit;
    else
        m_buttons &= ~bit;
    RawEventType type;
    if (code == BTN_LEFT)
        type = value ? RawEventType::leftMouseDown : RawEventType::leftMouseUp;
    else if (code == BTN_RIGHT)
        type = value ? RawEventType::rightMouseDown : RawEventType::rightMouseUp;
    else
        type = value ? RawEventType::otherMouseDown : RawEventType::otherMouseUp;
    emit(type, time);
}

void EvdevTranslator::report(Device& device, double time)
{
    if (device.moved || device.touched) {
        const double x = m_x, y = m_y;
        m_x += device.dx;
        m_y += device.dy;
        const bool relative = device.moved;
        device.dx = device.dy = 0;
        device.moved = device.touched = false;
        if (pointerPosition && (m_lastAsked < 0 || time - m_lastAsked >= motionQueryInterval)) {
            refreshPointer();
            m_lastAsked = time;
        }
        // A touchpad frame the desktop was not asked about moves nothing we know of.
        if (!relative && m_x == x && m_y == y)
            return reportWheel(device, time);
        RawEventType type = RawEventType::mouseMoved;
        if (m_buttons & 1)
            type = RawEventType::leftMouseDragged;
        else if (m_buttons & 2)
            type = RawEventType::rightMouseDragged;
        else if (m_buttons & 4)
            type = RawEventType::otherMouseDragged;
        emit(type, time);
    }
    reportWheel(device, time);
}

void EvdevTranslator::reportWheel(Device& device, double time)
{
    // A device with a high-resolution wheel reports both; its 120ths count, whole clicks
    // come out as they add up, and a remainder waits for the rest of the turn.
    std::int32_t vertical = 0, horizontal = 0;
    if (device.sendsHiRes) {
        vertical = device.wheelHiRes / hiResPerClick;
        horizontal = device.hwheelHiRes / hiResPerClick;
        device.wheelHiRes -= vertical * hiResPerClick;
        device.hwheelHiRes -= horizontal * hiResPerClick;
    } else {
        vertical = device.wheelClicks;
        horizontal = device.hwheelClicks;
    }
    device.wheelClicks = device.hwheelClicks = 0;
    if (vertical != 0 || horizontal != 0) {
        refreshPointer();
        // Wheel right is the kernel's positive; the macro's horizontal axis is left-positive.
        emit(RawEventType::scrollWheel, time, 0, vertical, -horizontal);
    }
}
