#include "Platform/Linux/SessionKind.h"

namespace SessionKind {

Kind detect()
{
    const QString forced = qEnvironmentVariable("QUILLO_PLATFORM").trimmed().toLower();
    if (forced == QLatin1String("x11"))
        return Kind::x11;
    if (forced == QLatin1String("wayland"))
        return Kind::wayland;
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return Kind::wayland;
    return Kind::x11;
}

QString name(Kind kind)
{
    return kind == Kind::wayland ? QStringLiteral("Wayland") : QStringLiteral("X11");
}

QString waylandDesktop()
{
    if (!qEnvironmentVariableIsEmpty("SWAYSOCK"))
        return QStringLiteral("sway");
    if (!qEnvironmentVariableIsEmpty("HYPRLAND_INSTANCE_SIGNATURE"))
        return QStringLiteral("Hyprland");
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    if (desktop.contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        return QStringLiteral("KDE");
    if (desktop.contains(QLatin1String("GNOME"), Qt::CaseInsensitive))
        return QStringLiteral("GNOME");
    return {};
}

} // namespace SessionKind
