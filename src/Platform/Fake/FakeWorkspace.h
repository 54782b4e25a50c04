#pragma once

#include "Platform/Workspace.h"

// A desktop whose frontmost application the test sets.
class FakeWorkspace : public Workspace
{
    Q_OBJECT
public:
    explicit FakeWorkspace(QString ownId = QStringLiteral("quillo"), QObject* parent = nullptr)
        : Workspace(parent), m_ownId(std::move(ownId))
    {
    }

    std::optional<RunningApplication> frontmostApplication() override { return m_front; }
    QString ownApplicationId() const override { return m_ownId; }

    // Brings `application` to the front and announces it.
    void activate(const RunningApplication& application)
    {
        m_front = application;
        Q_EMIT applicationActivated(application);
    }
    void setFrontmost(std::optional<RunningApplication> application) { m_front = std::move(application); }
    std::vector<ScreenOutput> layout;
    std::vector<ScreenOutput> screenLayout() override { return layout; }
    std::vector<RunningApplication> running;
    std::vector<RunningApplication> runningApplications() override { return running; }

private:
    QString m_ownId;
    std::optional<RunningApplication> m_front;
};
