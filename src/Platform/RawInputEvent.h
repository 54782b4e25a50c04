#pragma once

#include "Models/InputCodes.h"

#include <cstdint>

// One observed input event as the platform hands it over, already in the neutral
// numbering: macOS virtual key codes, CGEventFlags bits, scroll axes (1 vertical,
// up positive; 2 horizontal, left positive).
struct RawInputEvent {
    RawEventType type = RawEventType::none;
    // When the event happened, in seconds on the recording clock (Clock::now()).
    double time = 0;
    double x = 0;
    double y = 0;
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    std::int32_t scrollAxis1 = 0;
    std::int32_t scrollAxis2 = 0;
};
