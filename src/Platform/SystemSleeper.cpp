#include "Platform/SystemSleeper.h"

#include "Platform/SystemClock.h"

#include <algorithm>
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
// Bounds of the stretch before a deadline that is spent awake (see spinStretch()).
constexpr double kMinSpin = 0.0001;
constexpr double kMaxSpin = 0.002;
// The longest single wait on the condition variable.
constexpr double kLongestWait = 60.0;

void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

timespec toTimespec(double seconds)
{
    double whole = 0;
    const double fraction = std::modf(seconds, &whole);
    timespec ts{};
    ts.tv_sec = time_t(whole);
    ts.tv_nsec = long(fraction * 1e9);
    return ts;
}
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
            // Far deadlines (or none: infinity, not a number) are waited for in slices:
            // the standard library's clocks overflow some 292 years out, which would
            // turn the wait into a busy loop that never lets go of the lock.
            const double slice = std::isfinite(remaining) ? std::min(remaining - kPreciseStretch, kLongestWait)
                                                          : kLongestWait;
            m_woken.wait_for(lock, std::chrono::duration<double>(slice));
        }
    }
    const double wakeAt = deadline - m_spin;
    const timespec nearlyDue = toTimespec(wakeAt);
    while (clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &nearlyDue, nullptr) == EINTR) {
    }
    learnWakeUp(clock.now() - wakeAt);
    while (clock.now() < deadline && !m_wakeFlag.load(std::memory_order_relaxed))
        cpuRelax();
    std::lock_guard lock(m_mutex);
    return !m_wake;
}

void SystemSleeper::learnWakeUp(double lateness)
{
    // A thread that sleeps wakes up late by a machine-dependent amount: tens of
    // microseconds on a desktop, milliseconds now and then in a virtual machine. The
    // awake stretch follows the 98th percentile of recent wake-ups, so that deadlines
    // are met without spinning longer than this machine needs.
    m_wakeUps[m_wakeUpCount++ % m_wakeUps.size()] = lateness;
    if (m_wakeUpCount % 64 != 0 || m_wakeUpCount < m_wakeUps.size())
        return;
    std::array<double, 256> sorted = m_wakeUps;
    auto p98 = sorted.begin() + std::ptrdiff_t(sorted.size() * 98 / 100);
    std::nth_element(sorted.begin(), p98, sorted.end());
    m_spin = std::clamp(*p98 + 0.00005, kMinSpin, kMaxSpin);
}

void SystemSleeper::wake()
{
    std::lock_guard lock(m_mutex);
    m_wake = true;
    m_wakeFlag = true;
    m_woken.notify_all();
}

void SystemSleeper::reset()
{
    std::lock_guard lock(m_mutex);
    m_wake = false;
    m_wakeFlag = false;
}
