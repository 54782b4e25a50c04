#pragma once

#include "Platform/Clock.h"

#include <optional>

struct _XDisplay;

// The X server's current time (ms), read together with a clock reading, so that the
// time of any event can be put on that clock.
namespace X11ServerTime {

struct Pair {
    unsigned long serverTime = 0;
    double clockTime = 0;
};

// Makes a property change on a private window and reads the time of its notification.
std::optional<Pair> now(_XDisplay* display, const Clock& clock);

} // namespace X11ServerTime
