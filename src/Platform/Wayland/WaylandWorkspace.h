#pragma once

#include "Platform/Wayland/DesktopProvider.h"
#include "Platform/Workspace.h"

// The frontmost application as the Wayland desktop's provider reports it.
class WaylandWorkspace : public Workspace
{
    Q_OBJECT
public:
    explicit WaylandWorkspace(DesktopProvider& provider, QString ownId = QStringLiteral("quillo"),
                              QObject* parent = nullptr)
        : Workspace(parent), m_provider(provider), m_ownId(std::move(ownId))
    {
        connect(&m_provider, &DesktopProvider::applicationActivated, this, &Workspace::applicationActivated);
    }

    std::optional<RunningApplication> frontmostApplication() override { return m_provider.frontmostApplication(); }
    QString ownApplicationId() const override { return m_ownId; }
    std::vector<ScreenOutput> screenLayout() override
    {
        std::vector<ScreenOutput> layout;
        for (const Output& o : m_provider.outputs())
            layout.push_back({o.name, o.geometry.x(), o.geometry.y(), o.geometry.width(), o.geometry.height(), o.scale});
        return layout;
    }

private:
    DesktopProvider& m_provider;
    QString m_ownId;
};
