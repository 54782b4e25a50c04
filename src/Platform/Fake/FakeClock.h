#pragma once

#include "Platform/Clock.h"

#include <atomic>

// Virtual time for tests: it moves only when the test moves it.
class FakeClock : public Clock
{
public:
    explicit FakeClock(double start = 1000.0) : m_now(start) {}
    double now() const override { return m_now.load(); }
    void set(double seconds) { m_now.store(seconds); }
    void advance(double seconds) { m_now.store(m_now.load() + seconds); }

private:
    std::atomic<double> m_now;
};
