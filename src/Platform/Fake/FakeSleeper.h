#pragma once

#include "Platform/Fake/FakeClock.h"
#include "Platform/Sleeper.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

// Sleeps on virtual time: a wait moves the fake clock to its deadline at once. A test
// can run code at the start of each wait, or hold waits from an instant on until it
// lets them go (or the sleeper is woken), to act while a playback is in the middle.
class FakeSleeper : public Sleeper
{
public:
    explicit FakeSleeper(FakeClock& clock) : m_clock(clock) {}

    bool sleepUntil(double deadline) override;
    void wake() override;
    void reset() override;

    // Called with each deadline before the clock moves.
    void setHook(std::function<void(double deadline)> hook) { m_hook = std::move(hook); }
    // Waits whose deadline is at or after `instant` block until release() or wake().
    void holdFrom(double instant);
    void release();
    // Whether a wait is blocked right now.
    bool isHolding();

private:
    FakeClock& m_clock;
    std::function<void(double)> m_hook;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_woken = false;
    std::optional<double> m_holdFrom;
    bool m_holding = false;
};
