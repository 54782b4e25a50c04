#include "Platform/SystemClock.h"

#include <time.h>

#ifndef CLOCK_BOOTTIME
#define CLOCK_BOOTTIME CLOCK_MONOTONIC
#endif

double SystemClock::now() const
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

const SystemClock& SystemClock::instance()
{
    static const SystemClock clock;
    return clock;
}
