#include "Platform/SystemSleeper.h"

#include "Platform/SystemClock.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <time.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#ifndef CLOCK_BOOTTIME
#define CLOCK_BOOTTIME CLOCK_MONOTONIC
#endif

namespace {
// The last stretch of a wait is not interruptible; keep it short.
constexpr double kPreciseStretch = 0.002;
} // namespace

void SystemSleeper::tuneCurrentThread()
{
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
#endif
}

bool SystemSleeper::sleepUntil(double deadline)
{
    const SystemClock& clock = SystemClock::instance();
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_wake)
                return false;
            const double remaining = deadline - clock.now();
            if (remaining <= kPreciseStretch)
                break;
            m_woken.wait_for(lock, std::chrono::duration<double>(remaining - kPreciseStretch));
        }
    }
    timespec due{};
    double whole = 0;
    const double fraction = std::modf(deadline, &whole);
    due.tv_sec = time_t(whole);
    due.tv_nsec = long(fraction * 1e9);
    while (clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &due, nullptr) == EINTR) {
    }
    std::lock_guard lock(m_mutex);
    return !m_wake;
}

void SystemSleeper::wake()
{
    std::lock_guard lock(m_mutex);
    m_wake = true;
    m_woken.notify_all();
}

void SystemSleeper::reset()
{
    std::lock_guard lock(m_mutex);
    m_wake = false;
}
