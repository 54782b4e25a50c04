#pragma once

#include "Platform/Clock.h"
#include "Platform/EventPoster.h"

#include <QSet>
#include <functional>
#include <mutex>
#include <vector>

// Records every posted event and activation with the clock reading at which it came.
class FakeEventPoster : public EventPoster
{
public:
    struct Posted {
        SyntheticEvent event;
        double at = 0;
    };
    struct Activation {
        QString id;
        double at = 0;
    };

    explicit FakeEventPoster(const Clock& clock) : m_clock(clock) {}

    bool post(const SyntheticEvent& event) override;
    bool activateApplication(const QString& id) override;
    void releaseModifiers() override;

    void setRunningApplications(QSet<QString> ids);
    // Which application is in front when asked (unset: the poster cannot tell).
    std::function<std::optional<QString>()> frontmost;
    std::optional<QString> frontmostApplicationId() override { return frontmost ? frontmost() : std::nullopt; }

    std::vector<Posted> posted() const;
    std::vector<Activation> activations() const;
    int modifierReleases() const;
    void clear();

private:
    const Clock& m_clock;
    mutable std::mutex m_mutex;
    std::vector<Posted> m_posted;
    std::vector<Activation> m_activations;
    QSet<QString> m_running;
    int m_modifierReleases = 0;
};
