#include "Platform/Fake/FakeSleeper.h"

bool FakeSleeper::sleepUntil(double deadline)
{
    if (m_hook)
        m_hook(deadline);
    std::unique_lock lock(m_mutex);
    if (m_holdFrom && deadline >= *m_holdFrom) {
        m_holding = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_woken || !m_holdFrom; });
        m_holding = false;
    }
    if (m_woken)
        return false;
    if (deadline > m_clock.now())
        m_clock.set(deadline);
    return true;
}

void FakeSleeper::wake()
{
    std::lock_guard lock(m_mutex);
    m_woken = true;
    m_changed.notify_all();
}

void FakeSleeper::reset()
{
    std::lock_guard lock(m_mutex);
    m_woken = false;
}

void FakeSleeper::holdFrom(double instant)
{
    std::lock_guard lock(m_mutex);
    m_holdFrom = instant;
}

void FakeSleeper::release()
{
    std::lock_guard lock(m_mutex);
    m_holdFrom.reset();
    m_changed.notify_all();
}

bool FakeSleeper::isHolding()
{
    std::lock_guard lock(m_mutex);
    return m_holding;
}
