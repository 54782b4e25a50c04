#include "Cli/Commands/DoctorCommand.h"

#include "Cli/CommandRunner.h"
#include "Platform/X11/X11Platform.h"
#include "Services/HotkeyService.h"
#include "Services/StorageService.h"

using namespace CommandRunner;

int DoctorCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    if (auto done = parse(parser, QStringLiteral("doctor"),
                          QStringLiteral("Check what recording and replaying need, one line each."), args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("doctor"), 0, {}))
        return *wrong;
    const bool applicationRuns = applicationIsRunning();
    bool allGood = true;
    auto line = [&](bool good, const QString& what, const QString& detail) {
        allGood = allGood && good;
        out(QStringLiteral("%1  %2: %3").arg(good ? QStringLiteral("ok     ") : QStringLiteral("PROBLEM"), what, detail));
    };
    const QByteArray display = qgetenv("DISPLAY");
    X11PermissionProbe probe;
    const bool hasDisplay = !display.isEmpty() && (probe.accessibilityGranted(false) || probe.inputMonitoringGranted() ||
                                                   X11Platform::windowManagerReportsActiveWindow());
    line(hasDisplay, QStringLiteral("display"),
         display.isEmpty() ? QStringLiteral("DISPLAY is not set") : QString::fromLocal8Bit(display));
    const bool wayland = X11PermissionProbe::isWaylandSession();
    line(!wayland, QStringLiteral("session"),
         wayland ? QStringLiteral("Wayland: only X applications can be recorded") : QStringLiteral("X11"));
    line(X11Platform::windowManagerReportsActiveWindow(), QStringLiteral("window manager"),
         QStringLiteral("reports the active window (needed to record application switches)"));
    line(probe.accessibilityGranted(false), QStringLiteral("XTEST"), QStringLiteral("needed to replay"));
    line(!wayland && probe.inputMonitoringGranted(), QStringLiteral("RECORD"), QStringLiteral("needed to record"));
    {
        X11HotkeyRegistrar registrar;
        const QStringList names = {QStringLiteral("Super+R"), QStringLiteral("Super+Alt+P"), QStringLiteral("Super+P")};
        for (std::size_t i = 0; i < HotkeyService::defaults().size(); ++i) {
            const HotkeyConfig& c = HotkeyService::defaults()[i];
            const auto result = registrar.registerHotkey(c.keyCode, c.modifiers, c.id);
            if (result.status == 0)
                registrar.unregisterHotkey(result.handle);
            if (result.status != 0 && applicationRuns) {
                line(true, QStringLiteral("hotkey ") + names[int(i)],
                     QStringLiteral("held by Quillo itself (the application is running)"));
                continue;
            }
            line(result.status == 0, QStringLiteral("hotkey ") + names[int(i)],
                 result.status == 0 ? QStringLiteral("free")
                                    : QStringLiteral("taken by another program (or no display)"));
        }
    }
    StorageService storage;
    auto library = storage.loadAll();
    line(library.hasValue(), QStringLiteral("library"),
         storage.storageURL() + (library ? QStringLiteral(" (%1)").arg(plural(qsizetype(library.value().size()), "macro", "macros"))
                                         : QStringLiteral(" \u2014 ") + library.error().description()));
    return allGood ? success : failed;
}
