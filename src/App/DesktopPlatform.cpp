#include "App/DesktopPlatform.h"

#include "Platform/Wayland/WaylandPlatform.h"
#include "Platform/X11/X11Platform.h"

DesktopPlatform::DesktopPlatform(FileDialogs& dialogs, SessionKind::Kind kind) : m_kind(kind)
{
    if (kind == SessionKind::Kind::wayland)
        m_wayland = std::make_unique<WaylandPlatform>(dialogs);
    else
        m_x11 = std::make_unique<X11Platform>(dialogs);
}

DesktopPlatform::~DesktopPlatform() = default;

PlatformServices DesktopPlatform::services()
{
    return m_wayland ? m_wayland->services() : m_x11->services();
}

EventPoster& DesktopPlatform::eventPoster()
{
    if (m_wayland)
        return m_wayland->eventPoster();
    return m_x11->eventPoster();
}

Sleeper& DesktopPlatform::sleeper()
{
    if (m_wayland)
        return m_wayland->sleeper();
    return m_x11->sleeper();
}

QString DesktopPlatform::replayProblem()
{
    if (m_wayland)
        return m_wayland->eventPoster().connectionProblem();
    return m_x11->eventPoster().isConnected() ? QString()
                                              : QStringLiteral("no X display with the XTEST extension");
}

QString DesktopPlatform::recordProblem()
{
    if (m_wayland) {
        m_wayland->permissionProbe().inputMonitoringGranted();
        return m_wayland->permissionProbe().inputMonitoringProblem();
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("there is no X display (DISPLAY is not set)");
    if (!m_x11->permissionProbe().inputMonitoringGranted())
        return QStringLiteral("the X display %1 cannot be opened or has no RECORD extension")
            .arg(QString::fromLocal8Bit(qgetenv("DISPLAY")));
    return {};
}

QString DesktopPlatform::desktopLimits() const
{
    return m_wayland ? m_wayland->desktopProblem() : QString();
}

RecordingLimits DesktopPlatform::recordingLimits() const
{
    if (!m_wayland)
        return {};
    return {m_wayland->provider().desktopName(), !m_wayland->desktopAnswers(),
            m_wayland->desktopAnswers() && !m_wayland->provider().reportsPointer()};
}

bool DesktopPlatform::replaysPositions() const
{
    return !m_wayland || !m_wayland->provider().outputs().empty();
}

StatusIndicator* DesktopPlatform::statusIndicator()
{
    return m_wayland ? m_wayland->statusIndicator() : nullptr;
}

std::optional<QPoint> DesktopPlatform::frameTopLeft(quint64 windowId) const
{
    if (!m_x11)
        return std::nullopt;
    return m_x11->workspace().frameTopLeft(windowId);
}

std::vector<ScreenOutput> DesktopPlatform::currentScreenLayout(SessionKind::Kind kind)
{
    if (kind == SessionKind::Kind::wayland) {
        auto provider = WaylandPlatform::providerForSession();
        if (!provider->start(nullptr))
            return {};
        WaylandWorkspace workspace(*provider);
        return workspace.screenLayout();
    }
    X11Workspace workspace;
    return workspace.screenLayout();
}
