#include "Platform/Fake/FakeEventPoster.h"

bool FakeEventPoster::post(const SyntheticEvent& event)
{
    std::lock_guard lock(m_mutex);
    m_posted.push_back({event, m_clock.now()});
    return true;
}

bool FakeEventPoster::activateApplication(const QString& id)
{
    std::lock_guard lock(m_mutex);
    if (!m_running.contains(id))
        return false;
    m_activations.push_back({id, m_clock.now()});
    return true;
}

void FakeEventPoster::releaseModifiers()
{
    std::lock_guard lock(m_mutex);
    ++m_modifierReleases;
}

void FakeEventPoster::setRunningApplications(QSet<QString> ids)
{
    std::lock_guard lock(m_mutex);
    m_running = std::move(ids);
}

std::vector<FakeEventPoster::Posted> FakeEventPoster::posted() const
{
    std::lock_guard lock(m_mutex);
    return m_posted;
}

std::vector<FakeEventPoster::Activation> FakeEventPoster::activations() const
{
    std::lock_guard lock(m_mutex);
    return m_activations;
}

int FakeEventPoster::modifierReleases() const
{
    std::lock_guard lock(m_mutex);
    return m_modifierReleases;
}

void FakeEventPoster::clear()
{
    std::lock_guard lock(m_mutex);
    m_posted.clear();
    m_activations.clear();
    m_modifierReleases = 0;
}
