#pragma once

#include "Models/MacroAction.h"
#include "Platform/RawInputEvent.h"

#include <optional>

// Turns one observed input event into at most one macro action, and thins out pointer
// movement: a move or drag is kept only when it is at least 2 points from the last
// kept one and at least 16 ms after it. Runs on the tap thread; allocates nothing.
class EventParser
{
public:
    static constexpr double defaultMoveThreshold = 2.0;
    static constexpr double defaultThrottleInterval = 0.016;

    // Forgets the last kept movement (the next one is compared with (0, 0)).
    void reset();

    // The action for `event`, stamped with the event's own time minus `baseTime`
    // (both on the recording clock), or nothing when the event is not recorded.
    std::optional<MacroAction> parse(const RawInputEvent& event, double baseTime);

private:
    bool movementGatePasses(const RawInputEvent& event);

    double m_lastX = 0;
    double m_lastY = 0;
    double m_lastTime = 0;
    double m_moveThreshold = defaultMoveThreshold;
    double m_throttleInterval = defaultThrottleInterval;
};
