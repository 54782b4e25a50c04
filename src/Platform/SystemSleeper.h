#pragma once

#include "Platform/Sleeper.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>

// Sleeps on CLOCK_BOOTTIME to absolute deadlines: waits that can be woken while far
// from the deadline, then clock_nanosleep(TIMER_ABSTIME) to just before it (timer slack
// lowered), then the last stretch awake, so that the deadline is met within
// microseconds. The awake stretch adapts to how late this machine wakes threads.
class SystemSleeper : public Sleeper
{
public:
    bool sleepUntil(double deadline) override;
    void wake() override;
    void reset() override;

    // Lowers the calling thread's timer slack so that deadlines are met closely.
    static void tuneCurrentThread();

    // Seconds before a deadline that are spent awake.
    double spinStretch() const { return m_spin; }

private:
    void learnWakeUp(double lateness);

    std::array<double, 256> m_wakeUps{};
    std::size_t m_wakeUpCount = 0;
    double m_spin = 0.0002;
    std::mutex m_mutex;
    std::condition_variable m_woken;
    bool m_wake = false;
    std::atomic<bool> m_wakeFlag{false}; // the same, read without the lock while awake
};
