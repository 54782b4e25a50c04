#include "Cli/Commands/DoctorCommand.h"

#include "Cli/CommandRunner.h"
#include "Platform/Linux/SessionKind.h"
#include "Platform/Wayland/InputdClient.h"
#include "Platform/Wayland/WaylandPlatform.h"
#include "Platform/X11/X11Platform.h"
#include "Services/HotkeyService.h"
#include "Services/StorageService.h"
#include "Cli/TerminalText.h"
#include "ViewModels/HotkeyViewModel.h"

#include <QSettings>

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
    std::unique_ptr<DesktopProvider> provider;   // under Wayland
    X11KeyboardLayout layout;
    std::unique_ptr<HotkeyRegistrar> registrar; // the session's, to try the chords on (after the provider)
    const SessionKind::Kind kind = SessionKind::detect();
    if (kind == SessionKind::Kind::wayland) {
        // Wayland: recording and replay go through quillo-inputd; the desktop says what
        // is in front (and, on some desktops, where the pointer is).
        line(true, QStringLiteral("backend"), QStringLiteral("Wayland, through the input helper quillo-inputd"));
        InputdClient helper;
        QString problem;
        const bool helperOk = helper.connect(InputdClient::socketPath(), problem);
        line(helperOk, QStringLiteral("input helper"),
             helperOk ? QStringLiteral("answers at %1 (it reads every keyboard while Quillo records)").arg(InputdClient::socketPath())
                      : problem);
        provider = WaylandPlatform::providerForSession();
        QString limits;
        const bool desktopOk = provider->start(&limits);
        line(desktopOk, QStringLiteral("desktop"),
             desktopOk ? QStringLiteral("%1 reports the frontmost application").arg(provider->desktopName()) : limits);
        if (provider->outputs().empty())
            line(false, QStringLiteral("positions"),
                 QStringLiteral("%1 gives no screen layout: positions are not replayed (clicks and wheel turns land "
                                "wherever the pointer is)")
                     .arg(provider->desktopName()));
        if (desktopOk)
            line(provider->reportsPointer(), QStringLiteral("pointer"),
                 provider->reportsPointer()
                     ? QStringLiteral("%1 reports where the pointer is").arg(provider->desktopName())
                     : QStringLiteral("%1 does not say where the pointer is: recorded positions are estimated from the "
                                      "mouse's motion (keys and wheels are exact)")
                           .arg(provider->desktopName()));
        QString note;
        registrar = WaylandPlatform::hotkeysFor(*provider, layout, &note);
        line(true, QStringLiteral("hotkeys"),
             QStringLiteral("through %1, whichever window is in front%2")
                 .arg(registrar->mechanism(), note.isEmpty() ? QString() : QStringLiteral(" (") + note + QLatin1Char(')')));
    } else {
        const bool hasDisplay = !display.isEmpty() && (probe.accessibilityGranted(false) || probe.inputMonitoringGranted() ||
                                                       X11Platform::windowManagerReportsActiveWindow());
        line(true, QStringLiteral("backend"), QStringLiteral("X11"));
        line(hasDisplay, QStringLiteral("display"),
             display.isEmpty() ? QStringLiteral("DISPLAY is not set") : QString::fromLocal8Bit(display));
        line(X11Platform::windowManagerReportsActiveWindow(), QStringLiteral("window manager"),
             QStringLiteral("reports the active window (needed to record application switches)"));
        line(probe.accessibilityGranted(false), QStringLiteral("XTEST"), QStringLiteral("needed to replay"));
        line(probe.inputMonitoringGranted(), QStringLiteral("RECORD"), QStringLiteral("needed to record"));
        if (hasDisplay)
            registrar = std::make_unique<X11HotkeyRegistrar>();
    }
    // The hotkeys: the running application says which of its chords are in force;
    // otherwise each chord is tried here.
    if (applicationRuns) {
        runInApplication({QStringLiteral("hotkeys")}, [&](const QStringList& m) {
            if (m.value(0) != QLatin1String("hotkey"))
                return;
            const QString chord = TerminalText::safe(m.value(1));
            if (m.value(2).isEmpty())
                line(true, QStringLiteral("hotkey ") + chord,
                     QStringLiteral("held by Quillo itself (the application is running; %1)").arg(TerminalText::safe(m.value(3))));
            else
                line(false, QStringLiteral("hotkey ") + chord, TerminalText::safe(m.value(2)));
        });
    } else if (registrar) {
        QSettings settings;
        for (const HotkeyConfig& standard : HotkeyService::defaults()) {
            const HotkeyChord chord = HotkeyViewModel::storedChord(settings, standard.id);
            const auto result = registrar->registerHotkey(standard.id, {chord});
            registrar->unregisterHotkey(standard.id);
            line(result.ok(), QStringLiteral("hotkey ") + chord.portableText(),
                 result.ok() ? QStringLiteral("free (%1)").arg(registrar->mechanism()) : result.reason);
        }
    }
    StorageService storage;
    auto library = storage.loadAll();
    line(library.hasValue(), QStringLiteral("library"),
         storage.storageURL() + (library ? QStringLiteral(" (%1)").arg(plural(qsizetype(library.value().size()), "macro", "macros"))
                                         : QStringLiteral(" \u2014 ") + library.error().description()));
    return allGood ? success : failed;
}
