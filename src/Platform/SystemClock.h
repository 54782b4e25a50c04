#pragma once

#include "Platform/Clock.h"

// CLOCK_BOOTTIME: monotonic, and counting while the machine sleeps.
class SystemClock : public Clock
{
public:
    double now() const override;
    static const SystemClock& instance();
};
