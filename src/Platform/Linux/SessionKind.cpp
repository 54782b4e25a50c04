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

QString forcedProblem()
{
    if (!qEnvironmentVariableIsSet("QUILLO_PLATFORM"))
        return {};
    const QString forced = qEnvironmentVariable("QUILLO_PLATFORM").trimmed().toLower();
    if (forced == QLatin1String("x11") || forced == QLatin1String("wayland"))
        return {};
    QString shown = qEnvironmentVariable("QUILLO_PLATFORM").left(40);
    for (QChar& c : shown)
        if (!c.isPrint())
            c = QLatin1Char('?');
    return QStringLiteral("QUILLO_PLATFORM is \"%1\"; it takes x11 or wayland (unset it to let the session decide)")
        .arg(shown);
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
