#pragma once

// Waits until an instant on a Clock. A wait can be cut short from another thread.
class Sleeper
{
public:
    virtual ~Sleeper() = default;

    // Returns true at `deadline` (seconds on the clock), false when woken early.
    virtual bool sleepUntil(double deadline) = 0;
    // Cuts the current (or next) wait short; it stays cut until reset().
    virtual void wake() = 0;
    virtual void reset() = 0;
};
