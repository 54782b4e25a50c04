#include "Platform/X11/X11PermissionProbe.h"

#include "Platform/X11/X11Errors.h"

#include <QtGlobal>

#include <X11/Xlib.h>

bool X11PermissionProbe::hasExtension(const char* name) const
{
    X11Errors::install();
    Display* display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!display)
        return false;
    int opcode = 0, event = 0, error = 0;
    const bool present = XQueryExtension(display, name, &opcode, &event, &error);
    XCloseDisplay(display);
    return present;
}

bool X11PermissionProbe::isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE") == "wayland";
}

bool X11PermissionProbe::accessibilityGranted(bool)
{
    return hasExtension("XTEST");
}

bool X11PermissionProbe::inputMonitoringGranted()
{
    return !isWaylandSession() && hasExtension("RECORD");
}

bool X11PermissionProbe::hasDisplay() const
{
    Display* display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (display)
        XCloseDisplay(display);
    return display != nullptr;
}

QString X11PermissionProbe::accessibilityProblem()
{
    if (!hasDisplay())
        return QStringLiteral("there is no X display");
    return QStringLiteral("the X server has no XTEST extension");
}

QString X11PermissionProbe::inputMonitoringProblem()
{
    if (isWaylandSession())
        return QStringLiteral("this is a Wayland session, where only X applications can be observed");
    if (!hasDisplay())
        return QStringLiteral("there is no X display");
    return QStringLiteral("the X server has no RECORD extension");
}

QString X11PermissionProbe::accessibilityCauseKey()
{
    return hasDisplay() ? QStringLiteral("cause.noXtest") : QStringLiteral("cause.noDisplay");
}

QString X11PermissionProbe::inputMonitoringCauseKey()
{
    if (isWaylandSession())
        return QStringLiteral("cause.waylandSession");
    return hasDisplay() ? QStringLiteral("cause.noRecord") : QStringLiteral("cause.noDisplay");
}
