#include "Platform/Wayland/WaylandPermissionProbe.h"

#include "Platform/Wayland/InputdClient.h"

WaylandPermissionProbe::WaylandPermissionProbe(QString socketPath)
    : m_socketPath(socketPath.isEmpty() ? InputdClient::socketPath() : std::move(socketPath))
{
}

bool WaylandPermissionProbe::check()
{
    InputdClient client;
    QString reason;
    const bool reached = client.connect(m_socketPath, reason);
    // The banner and the alerts say which backend runs and what it lacks.
    m_problem = reached ? QString() : QStringLiteral("Wayland session: ") + reason;
    m_causeKey = reached                                      ? QString()
                 : client.failure() == InputdClient::Failure::notRunning ? QStringLiteral("cause.helperMissing")
                 : client.failure() == InputdClient::Failure::noAccess   ? QStringLiteral("cause.helperNoAccess")
                                                                         : QStringLiteral("cause.helperOther");
    return reached;
}

bool WaylandPermissionProbe::accessibilityGranted(bool)
{
    return check();
}

bool WaylandPermissionProbe::inputMonitoringGranted()
{
    return check();
}
