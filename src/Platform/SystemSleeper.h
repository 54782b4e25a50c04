#pragma once

#include "Platform/Sleeper.h"

#include <condition_variable>
#include <mutex>

// Sleeps on CLOCK_BOOTTIME to absolute deadlines: waits that can be woken while far
// from the deadline, then clock_nanosleep(TIMER_ABSTIME) for the last stretch, which
// wakes within tens of microseconds when the thread's timer slack is low.
class SystemSleeper : public Sleeper
{
public:
    bool sleepUntil(double deadline) override;
    void wake() override;
    void reset() override;

    // Lowers the calling thread's timer slack so that deadlines are met closely.
    static void tuneCurrentThread();

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    bool m_wake = false;
};
