#include "Services/EventMonitor/EventParser.h"

#include <cmath>

void EventParser::reset()
{
    *this = EventParser();
}

bool EventParser::movementGatePasses(const RawInputEvent& event)
{
    const double distance = std::hypot(event.x - m_lastX, event.y - m_lastY);
    const double elapsed = event.time - m_lastTime;
    // Written so that a NaN fails the gate.
    if (!(distance >= m_moveThreshold && elapsed >= m_throttleInterval))
        return false;
    m_lastX = event.x;
    m_lastY = event.y;
    m_lastTime = event.time;
    return true;
}

std::optional<MacroAction> EventParser::parse(const RawInputEvent& event, double baseTime)
{
    const double t = event.time - baseTime;
    const double x = event.x;
    const double y = event.y;
    // Modifiers held with a click, drag or wheel turn (caps lock is a state, not a chord).
    const std::uint64_t f = event.flags & (ModifierFlags::all & ~ModifierFlags::capsLock | ModifierFlags::rightOption);
    using A = MacroAction;
    switch (event.type) {
    case RawEventType::leftMouseDown:
        return A::mouseDown(t, x, y, MouseButton::left, f);
    case RawEventType::leftMouseUp:
        return A::mouseUp(t, x, y, MouseButton::left, f);
    case RawEventType::rightMouseDown:
        return A::mouseDown(t, x, y, MouseButton::right, f);
    case RawEventType::rightMouseUp:
        return A::mouseUp(t, x, y, MouseButton::right, f);
    case RawEventType::otherMouseDown:
        return A::mouseDown(t, x, y, MouseButton::middle, f);
    case RawEventType::otherMouseUp:
        return A::mouseUp(t, x, y, MouseButton::middle, f);
    case RawEventType::mouseMoved:
        if (movementGatePasses(event))
            return A::mouseMove(t, x, y);
        return std::nullopt;
    case RawEventType::leftMouseDragged:
        if (movementGatePasses(event))
            return A::mouseDrag(t, x, y, MouseButton::left, f);
        return std::nullopt;
    case RawEventType::rightMouseDragged:
        if (movementGatePasses(event))
            return A::mouseDrag(t, x, y, MouseButton::right, f);
        return std::nullopt;
    case RawEventType::keyDown:
        return A::keyDown(t, event.keyCode, event.flags);
    case RawEventType::keyUp:
        return A::keyUp(t, event.keyCode, event.flags);
    case RawEventType::scrollWheel:
        if (event.scrollAxis1 == 0 && event.scrollAxis2 == 0)
            return std::nullopt;
        return A::scroll(t, x, y, event.scrollAxis2, event.scrollAxis1, f);
    case RawEventType::none:
    case RawEventType::flagsChanged:
    case RawEventType::otherMouseDragged:
        break;
    }
    return std::nullopt;
}
