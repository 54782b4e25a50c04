#include "Platform/Fake/FakeInputTap.h"

bool FakeInputTap::start(EventHandler handler, QString* error)
{
    std::lock_guard lock(m_mutex);
    ++m_starts;
    if (!m_refusal.isEmpty()) {
        if (error)
            *error = m_refusal;
        return false;
    }
    m_handler = std::move(handler);
    m_running = true;
    return true;
}

void FakeInputTap::stop()
{
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_handler = nullptr;
}

bool FakeInputTap::isRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

bool FakeInputTap::deliver(const RawInputEvent& event)
{
    std::lock_guard lock(m_mutex);
    if (!m_running || !m_handler)
        return false;
    m_handler(event);
    return true;
}
