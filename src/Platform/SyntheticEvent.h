#pragma once

#include "Platform/RawInputEvent.h"

#include <cstdint>

// One input event to synthesise, in the neutral numbering: event type, macOS key code,
// CGEventFlags, button number (0 left, 1 right, 2 centre), two wheels (1 vertical, up
// positive; 2 horizontal, left positive).
struct SyntheticEvent {
    RawEventType type = RawEventType::none;
    double x = 0;
    double y = 0;
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    int button = 0;
    std::int32_t wheel1 = 0;
    std::int32_t wheel2 = 0;

    bool operator==(const SyntheticEvent&) const = default;
};
