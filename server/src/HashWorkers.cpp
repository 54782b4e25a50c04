#include "HashWorkers.h"

HashWorkers::HashWorkers(std::size_t threads, std::size_t maxQueued) : m_maxQueued(maxQueued)
{
    for (std::size_t i = 0; i < std::max<std::size_t>(1, threads); ++i)
        m_threads.emplace_back([this] { run(); });
}

HashWorkers::~HashWorkers()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

bool HashWorkers::submit(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || m_queue.size() >= m_maxQueued)
            return false;
        m_queue.push_back(std::move(work));
    }
    m_wake.notify_one();
    return true;
}

void HashWorkers::run()
{
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            work = std::move(m_queue.front());
            m_queue.pop_front();
        }
        work();
    }
}
