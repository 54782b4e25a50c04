#pragma once

// Seconds on a monotonic clock that keeps counting during suspend. Timing code takes
// a Clock so that tests can run it on virtual time.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};
